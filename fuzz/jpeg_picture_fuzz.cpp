// Any bytes as a dial picture: decoded or refused, never a crash, a hang or a picture beyond the size limit.
#include "base/JpegPicture.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(data, static_cast<qsizetype>(size));
    const std::optional<QImage> picture = vornic::decodeJpeg(bytes);
    if (picture) {
        if (!vornic::looksLikeJpeg(bytes) || picture->isNull() || picture->format() != QImage::Format_RGB888 ||
            picture->width() > vornic::kMaxJpegSide || picture->height() > vornic::kMaxJpegSide)
            __builtin_trap();
        // Touch the last row, so that a row the decoder skipped shows up as uninitialised memory under the sanitizers.
        volatile unsigned char last = picture->constScanLine(picture->height() - 1)[picture->width() * 3 - 1];
        static_cast<void>(last);
    }
    return 0;
}
