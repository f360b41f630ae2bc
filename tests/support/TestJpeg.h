#pragma once

#include <QByteArray>
#include <QImage>

#include <array>

namespace vornic::test {

enum class JpegKind { Baseline, Progressive, Grayscale };

// The picture encoded by libjpeg itself, so that tests do not depend on an image-format plugin being installed.
// Grayscale encodes the picture's grey values as a one-component stream.
QByteArray encodeJpeg(const QImage& picture, JpegKind kind = JpegKind::Baseline);

// A picture of one colour in a four-component CMYK stream with an Adobe marker; the samples are stored as given,
// which by Adobe's convention means inverted (255 is no ink).
QByteArray encodeCmykJpeg(int width, int height, std::array<unsigned char, 4> storedSamples);

} // namespace vornic::test
