#include "tools/demo_data/DialPictureSplicer.h"

#include "tools/readings_server/DialPicture.h"

#include <algorithm>
#include <array>

namespace vornic {

namespace {

// A restart marker after every MCU: each one is coded without its neighbours.
constexpr int kRestartEveryMcus = 1;
constexpr int kReferenceScanner = 1;

bool isRestartMarker(char c) {
    return quint8(c) >= 0xD0 && quint8(c) <= 0xD7;
}

} // namespace

// A picture cut into what comes before its coded data (the header up to the end of the start-of-scan segment),
// one piece per MCU (its coded bytes and the restart marker after it) and what follows (the end marker).
struct DialPictureSplicer::Pieces {
    QByteArray bytes;
    qsizetype headerEnd = 0;
    std::vector<qsizetype> ends; // where each MCU's piece ends; the last one ends before the trailer
    bool valid = false;

    explicit Pieces(QByteArray jpeg) : bytes(std::move(jpeg)) {
        // The markers before the scan, each with its length, up to the start of scan (FF DA).
        qsizetype at = 2;
        while (at + 4 <= bytes.size() && quint8(bytes[at]) == 0xFF) {
            const quint8 marker = quint8(bytes[at + 1]);
            const qsizetype length = (qsizetype(quint8(bytes[at + 2])) << 8) | quint8(bytes[at + 3]);
            at += 2 + length;
            if (marker == 0xDA) {
                headerEnd = at;
                break;
            }
        }
        if (headerEnd == 0)
            return;
        // Coded data holds FF only as FF 00 (a stuffed byte) or FF D0..D7 (a restart marker).
        for (at = headerEnd; at + 1 < bytes.size(); ++at) {
            if (quint8(bytes[at]) != 0xFF)
                continue;
            const char next = bytes[at + 1];
            if (isRestartMarker(next)) {
                ends.push_back(at + 2);
                ++at;
            } else if (quint8(next) == 0xD9) {
                ends.push_back(at);
                valid = at + 2 == bytes.size();
                return;
            } else if (next != 0) {
                return;
            }
        }
    }

    qsizetype count() const { return qsizetype(ends.size()); }
    qsizetype start(qsizetype mcu) const { return mcu == 0 ? headerEnd : ends[size_t(mcu - 1)]; }
    QByteArrayView piece(qsizetype mcu) const {
        return QByteArrayView(bytes).sliced(start(mcu), ends[size_t(mcu)] - start(mcu));
    }
    QByteArrayView header() const { return QByteArrayView(bytes).first(headerEnd); }
    bool sameLayout(const Pieces& other) const {
        return valid && other.valid && count() == other.count() && header() == other.header();
    }
};

// Everything a counter of a number of drums needs: which drums each MCU shows, and each MCU of the pictures of
// every pair of digits, the first digit on the even drums and the second on the odd ones.
struct DialPictureSplicer::Counter {
    int drums = 0;
    bool usable = false;
    std::unique_ptr<Pieces> reference;          // every drum at 0, the reference scanner
    std::vector<std::vector<int>> drumsOfMcu;   // the drums that change an MCU: none, one or two neighbours
    std::vector<std::unique_ptr<Pieces>> pairs; // by 10 * even digit + odd digit
};

DialPictureSplicer::DialPictureSplicer(int quality) : quality_(quality) {}

DialPictureSplicer::~DialPictureSplicer() = default;

QByteArray DialPictureSplicer::drawn(const QString& digits, int scanner) const {
    return encodeJpeg(drawDialPicture(digits, scanner), quality_, kRestartEveryMcus);
}

const DialPictureSplicer::Counter& DialPictureSplicer::counter(int drums) {
    auto& slot = counters_[drums];
    if (slot)
        return *slot;
    slot = std::make_unique<Counter>();
    Counter& counter = *slot;
    counter.drums = drums;
    const QString zeros(drums, u'0');
    counter.reference = std::make_unique<Pieces>(drawn(zeros, kReferenceScanner));
    if (!counter.reference->sameLayout(*counter.reference))
        return counter;
    // Which drums an MCU shows is found by turning each drum through every digit: an MCU that never changes shows
    // none of them, whatever the drawing's measures are.
    counter.drumsOfMcu.resize(size_t(counter.reference->count()));
    for (int drum = 0; drum < drums; ++drum) {
        for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
            QString digits = zeros;
            digits[drum] = QChar(digit);
            const Pieces turned(drawn(digits, kReferenceScanner));
            if (!turned.sameLayout(*counter.reference))
                return counter;
            for (qsizetype mcu = 0; mcu < turned.count(); ++mcu) {
                std::vector<int>& shown = counter.drumsOfMcu[size_t(mcu)];
                if (turned.piece(mcu) != counter.reference->piece(mcu) &&
                    std::find(shown.begin(), shown.end(), drum) == shown.end())
                    shown.push_back(drum);
            }
        }
    }
    for (const std::vector<int>& shown : counter.drumsOfMcu)
        if (shown.size() > 2 || (shown.size() == 2 && shown[1] != shown[0] + 1))
            return counter;
    counter.pairs.resize(100);
    for (int even = 0; even < 10; ++even) {
        for (int odd = 0; odd < 10; ++odd) {
            QString digits(drums, u'0');
            for (int drum = 0; drum < drums; ++drum)
                digits[drum] = QChar(u'0' + (drum % 2 == 0 ? even : odd));
            auto pieces = std::make_unique<Pieces>(drawn(digits, kReferenceScanner));
            if (!pieces->sameLayout(*counter.reference))
                return counter;
            counter.pairs[size_t(10 * even + odd)] = std::move(pieces);
        }
    }
    counter.usable = true;
    return counter;
}

const DialPictureSplicer::Pieces& DialPictureSplicer::scannerPieces(const Counter& counter, int scanner) {
    auto& slot = scanners_[{counter.drums, scanner}];
    if (!slot) {
        slot = std::make_unique<Pieces>(drawn(QString(counter.drums, u'0'), scanner));
        // The scanner's plate must lie apart from the counter, or its MCUs could not be taken from the scanner's
        // picture alone.
        bool apart = slot->sameLayout(*counter.reference);
        for (qsizetype mcu = 0; apart && mcu < slot->count(); ++mcu)
            apart = counter.drumsOfMcu[size_t(mcu)].empty() || slot->piece(mcu) == counter.reference->piece(mcu);
        if (!apart)
            slot->valid = false;
    }
    return *slot;
}

QByteArray DialPictureSplicer::picture(const QString& digits, int scanner) {
    const bool allDigits =
        !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!allDigits)
        return drawn(digits, scanner);
    const Counter& kit = counter(int(digits.size()));
    if (!kit.usable)
        return drawn(digits, scanner);
    const Pieces& own = scannerPieces(kit, scanner);
    if (!own.valid)
        return drawn(digits, scanner);

    const auto digitAt = [&](int drum) { return digits[drum].unicode() - u'0'; };
    QByteArray jpeg;
    jpeg.reserve(own.bytes.size() + 1024);
    jpeg.append(own.header());
    for (qsizetype mcu = 0; mcu < own.count(); ++mcu) {
        const std::vector<int>& shown = kit.drumsOfMcu[size_t(mcu)];
        if (shown.empty()) {
            jpeg.append(own.piece(mcu));
            continue;
        }
        // The pair picture whose drums show these digits: the first drum's digit goes to its parity's place.
        std::array<int, 2> byParity = {0, 0};
        for (int drum : shown)
            byParity[size_t(drum % 2)] = digitAt(drum);
        jpeg.append(kit.pairs[size_t(10 * byParity[0] + byParity[1])]->piece(mcu));
    }
    jpeg.append(QByteArrayView(own.bytes).sliced(own.ends.back()));
    return jpeg;
}

} // namespace vornic
