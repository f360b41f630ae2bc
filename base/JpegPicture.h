#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>

#include <optional>

namespace vornic {

// The largest width and height of a dial picture that is decoded at all. A scanner's photograph is far smaller;
// a header claiming more is damaged or hostile, and is refused before any pixel memory is taken.
inline constexpr int kMaxJpegSide = 10000;

// Whether the bytes begin with a JPEG start-of-image marker (FF D8). Only such bytes are offered to the decoder.
bool looksLikeJpeg(QByteArrayView bytes);

// Whether the bytes are a whole JPEG stream from the outside: they begin with the start-of-image marker (FF D8) and
// end with the end-of-image marker (FF D9). An error page or a picture cut short is not.
bool isWholeJpeg(QByteArrayView bytes);

// The picture in the bytes, in QImage::Format_RGB888, or nothing when the bytes are not a complete, undamaged JPEG
// stream. Grayscale pictures come out grey in RGB; CMYK and YCCK pictures are converted, taking their samples as
// the inverted values that Adobe applications write. A stream that is cut short, or whose coded data is damaged, is
// refused as a whole rather than shown with invented grey or smeared rows.
//
// With a box size, the picture is decoded for a box of that size: libjpeg reduces it while decoding (by a half, a
// quarter or an eighth) as far as it still covers the box, and a picture still over twice the box is thinned out
// row by row as it is read, so that a huge picture costs about the memory of the box, not of its pixels. The
// result then covers the box and is at most twice its size, for the box to scale the rest smoothly.
std::optional<QImage> decodeJpeg(QByteArrayView bytes, QSize box = QSize());

} // namespace vornic
