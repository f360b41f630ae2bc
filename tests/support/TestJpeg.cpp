#include "support/TestJpeg.h"

#include <cstdio> // jpeglib.h uses FILE and size_t without declaring them
#include <cstdlib>

#include <jpeglib.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace vornic::test {
namespace {

// libjpeg's own error handling prints and ends the process, which is fine here: only well-formed pictures are
// encoded, and a failure would show up as the test run dying with libjpeg's message.
QByteArray encode(int width, int height, int components, J_COLOR_SPACE space, bool progressive,
                  const std::function<void(int y, unsigned char* row)>& fillRow) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width * components));
    while (info.next_scanline < info.image_height) {
        fillRow(static_cast<int>(info.next_scanline), row.data());
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

} // namespace

QByteArray encodeJpeg(const QImage& picture, JpegKind kind) {
    if (kind == JpegKind::Grayscale) {
        const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
        return encode(grey.width(), grey.height(), 1, JCS_GRAYSCALE, false,
                      [&grey](int y, unsigned char* row) { std::copy_n(grey.constScanLine(y), grey.width(), row); });
    }
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    return encode(rgb.width(), rgb.height(), 3, JCS_RGB, kind == JpegKind::Progressive,
                  [&rgb](int y, unsigned char* row) { std::copy_n(rgb.constScanLine(y), rgb.width() * 3, row); });
}

QByteArray encodeCmykJpeg(int width, int height, std::array<unsigned char, 4> storedSamples) {
    return encode(width, height, 4, JCS_CMYK, false, [width, storedSamples](int, unsigned char* row) {
        for (int x = 0; x < width; ++x)
            std::copy(storedSamples.begin(), storedSamples.end(), row + x * 4);
    });
}

} // namespace vornic::test
