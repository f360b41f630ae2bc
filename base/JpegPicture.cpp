#include "base/JpegPicture.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h uses FILE and size_t without declaring them

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <vector>

namespace vornic {
namespace {

// Each scan of a progressive stream is another pass over every coefficient. Encoders write about ten; the limit
// keeps a crafted stream of thousands of tiny scans from holding the window for minutes.
constexpr int kMaxScans = 500;

// libjpeg reports a fatal error through error_exit, which must not return: it leaves by longjmp to the setjmp of the
// step in progress. Destructors in the frames jumped over would never run, so the steps that call into libjpeg
// (startDecoding, readPixels) own nothing with a destructor; whatever owns memory lives in decodeJpeg above them.
struct Decoder {
    Decoder();
    ~Decoder() { jpeg_destroy_decompress(&info); } // harmless on a struct that was never created
    Q_DISABLE_COPY_MOVE(Decoder)

    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
};

Decoder& decoderOf(j_common_ptr info) {
    return *static_cast<Decoder*>(info->client_data);
}

[[noreturn]] void giveUp(j_common_ptr info) {
    std::longjmp(decoderOf(info).jump, 1);
}

// A warning is libjpeg carrying on past a problem: a stream that ends early is finished in grey, damaged coded data
// is skipped up to the next restart marker, an unknown colour transform is guessed. A picture decoded past any of
// these is partly made up, and a made-up dial reading is worse than none, so the warning ends the decoding at once.
// Only warnings about metadata that never touches a pixel are let through.
void onMessage(j_common_ptr info, int level) {
    if (level >= 0)
        return; // trace output
    switch (info->err->msg_code) {
    case JWRN_JFIF_MAJOR:
    case JWRN_BOGUS_ICC:
        return;
    default:
        giveUp(info);
    }
}

void onProgress(j_common_ptr info) {
    if (decoderOf(info).info.input_scan_number > kMaxScans)
        giveUp(info);
}

Decoder::Decoder() {
    info.err = jpeg_std_error(&errors);
    errors.error_exit = giveUp;
    errors.emit_message = onMessage;
    errors.output_message = [](j_common_ptr) {}; // the program has no console; failure is the empty result
    progress.progress_monitor = onProgress;
    info.client_data = this;
}

bool isInks(J_COLOR_SPACE space) {
    return space == JCS_CMYK || space == JCS_YCCK;
}

// The largest reduction libjpeg offers (1/2, 1/4, 1/8) that leaves the picture covering the box.
unsigned int reductionFor(const jpeg_decompress_struct& info, QSize box) {
    if (!box.isValid() || box.isEmpty())
        return 1;
    unsigned int reduction = 1;
    for (const unsigned int next : {2U, 4U, 8U}) {
        if ((info.image_width + next - 1) / next < static_cast<unsigned int>(box.width()) ||
            (info.image_height + next - 1) / next < static_cast<unsigned int>(box.height()))
            break;
        reduction = next;
    }
    return reduction;
}

// Reads the header and, once the size is known to be sane, starts decompressing at the reduction the box allows.
bool startDecoding(Decoder& decoder, QByteArrayView bytes, QSize box) {
    if (setjmp(decoder.jump) != 0)
        return false;
    jpeg_create_decompress(&decoder.info);
    decoder.info.progress = &decoder.progress; // creation clears the struct, so this must come after
    jpeg_mem_src(&decoder.info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&decoder.info, TRUE);
    constexpr auto maxSide = static_cast<JDIMENSION>(kMaxJpegSide);
    if (decoder.info.image_width > maxSide || decoder.info.image_height > maxSide)
        return false;
    // libjpeg converts everything but inks to RGB itself; inks are read as they are and converted below.
    decoder.info.out_color_space = isInks(decoder.info.jpeg_color_space) ? JCS_CMYK : JCS_RGB;
    decoder.info.scale_num = 1;
    decoder.info.scale_denom = reductionFor(decoder.info, box);
    jpeg_start_decompress(&decoder.info);
    return decoder.info.output_components == (decoder.info.out_color_space == JCS_CMYK ? 4 : 3);
}

// The size the picture is kept at: the decoded size, or twice the box where the decoded picture is larger still.
QSize keptSize(const jpeg_decompress_struct& info, QSize box) {
    const auto side = [](JDIMENSION decoded, int boxSide) {
        const int largest = boxSide > 0 ? 2 * boxSide : 0;
        return largest > 0 && decoded > static_cast<JDIMENSION>(largest) ? largest : static_cast<int>(decoded);
    };
    if (!box.isValid() || box.isEmpty())
        return QSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    return QSize(side(info.output_width, box.width()), side(info.output_height, box.height()));
}

// Adobe applications store CMYK inverted (255 is no ink), and libjpeg hands the samples over as stored.
void inksToRgb(const unsigned char* inks, unsigned char* rgb, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x, inks += 4, rgb += 3) {
        const int black = inks[3];
        for (int channel = 0; channel < 3; ++channel)
            rgb[channel] = static_cast<unsigned char>((inks[channel] * black + 127) / 255);
    }
}

// Reads every row, keeping those that fall on the image's rows and the pixels that fall on its columns (all of them
// when the image has the decoded size), then the rest of the stream: a stream that ends before its end-of-image
// marker is refused even when all rows were there, as it is one cut short. row holds one decoded row.
bool readPixels(Decoder& decoder, QImage& image, unsigned char* row) {
    if (setjmp(decoder.jump) != 0)
        return false;
    const JDIMENSION width = decoder.info.output_width;
    const JDIMENSION height = decoder.info.output_height;
    const bool inks = decoder.info.out_color_space == JCS_CMYK;
    const int channels = inks ? 4 : 3;
    const auto keptWidth = static_cast<JDIMENSION>(image.width());
    const auto keptHeight = static_cast<JDIMENSION>(image.height());
    JDIMENSION nextKept = 0; // the image's row waiting for its decoded row
    while (decoder.info.output_scanline < height) {
        const JDIMENSION decoded = decoder.info.output_scanline;
        JSAMPROW rows = row;
        if (jpeg_read_scanlines(&decoder.info, &rows, 1) != 1)
            return false;
        if (keptWidth == width && keptHeight == height) {
            unsigned char* const line = image.scanLine(static_cast<int>(decoded));
            if (inks)
                inksToRgb(row, line, width);
            else
                std::copy_n(row, std::size_t{width} * 3, line);
            continue;
        }
        // The decoded row at the centre of the kept row's span.
        while (nextKept < keptHeight && (2 * nextKept + 1) * height / (2 * keptHeight) == decoded) {
            unsigned char* const line = image.scanLine(static_cast<int>(nextKept++));
            for (JDIMENSION x = 0; x < keptWidth; ++x) {
                const unsigned char* pixel = row + std::size_t{(2 * x + 1) * width / (2 * keptWidth)} * channels;
                if (inks)
                    inksToRgb(pixel, line + std::size_t{x} * 3, 1);
                else
                    std::copy_n(pixel, 3, line + std::size_t{x} * 3);
            }
        }
    }
    jpeg_finish_decompress(&decoder.info);
    return true;
}

} // namespace

bool looksLikeJpeg(QByteArrayView bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xD8;
}

bool isWholeJpeg(QByteArrayView bytes) {
    return bytes.size() >= 4 && looksLikeJpeg(bytes) && static_cast<unsigned char>(bytes[bytes.size() - 2]) == 0xFF &&
           static_cast<unsigned char>(bytes[bytes.size() - 1]) == 0xD9;
}

std::optional<QImage> decodeJpeg(QByteArrayView bytes, QSize box) {
    if (!looksLikeJpeg(bytes))
        return std::nullopt;
    Decoder decoder;
    if (!startDecoding(decoder, bytes, box))
        return std::nullopt;
    QImage image(keptSize(decoder.info, box), QImage::Format_RGB888);
    if (image.isNull())
        return std::nullopt; // out of memory
    std::vector<unsigned char> row(std::size_t{decoder.info.output_width} *
                                   static_cast<std::size_t>(decoder.info.output_components));
    if (!readPixels(decoder, image, row.data()))
        return std::nullopt;
    return image;
}

} // namespace vornic
