#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace vornic {

// Dial pictures as drawDialPicture draws and encodeJpeg encodes them (restart marker after every MCU), for
// hundreds of thousands of readings: drawing and encoding each takes about two milliseconds, a year of readings of
// two thousand objects half an hour. Each MCU of such a picture is coded on its own, so a picture is put together
// from MCUs encoded once: those of the counter from pictures of every pair of digits, the rest from the scanner's
// own picture. The result is the very bytes the direct encoding gives. A reading it cannot put together (a
// character that is no digit, a drawing whose drums share an MCU with more than two neighbours) is drawn and
// encoded directly.
class DialPictureSplicer final {
public:
    explicit DialPictureSplicer(int quality);
    ~DialPictureSplicer();
    DialPictureSplicer(const DialPictureSplicer&) = delete;
    DialPictureSplicer& operator=(const DialPictureSplicer&) = delete;

    QByteArray picture(const QString& digits, int scanner);

    // The same picture drawn and encoded directly: what picture() must equal.
    QByteArray drawn(const QString& digits, int scanner) const;

private:
    struct Pieces;
    struct Counter;

    const Counter& counter(int drums);
    const Pieces& scannerPieces(const Counter& counter, int scanner);

    int quality_;
    std::map<int, std::unique_ptr<Counter>> counters_;                // by number of drums
    std::map<std::pair<int, int>, std::unique_ptr<Pieces>> scanners_; // by drums and scanner
};

} // namespace vornic
