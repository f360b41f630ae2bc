#include "base/JpegPicture.h"
#include "support/TestJpeg.h"

#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using vornic::decodeJpeg;
using vornic::test::encodeJpeg;
using vornic::test::JpegKind;

// An odd width, so that QImage's padded rows differ from libjpeg's packed ones; the colour borders fall on
// 16-pixel block borders, so that chroma subsampling does not smear the colours that are checked.
QImage quadrants() {
    QImage picture(67, 45, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(0, 0, 32, 16, QColor(220, 30, 30));
    painter.fillRect(32, 0, 35, 16, QColor(30, 200, 40));
    painter.fillRect(0, 16, 32, 29, QColor(30, 40, 210));
    painter.fillRect(32, 16, 35, 29, QColor(240, 240, 240));
    return picture;
}

::testing::AssertionResult near(QColor actual, QColor expected, int tolerance = 24) {
    if (std::abs(actual.red() - expected.red()) <= tolerance &&
        std::abs(actual.green() - expected.green()) <= tolerance &&
        std::abs(actual.blue() - expected.blue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << actual.name().toStdString() << ", expected about "
                                         << expected.name().toStdString();
}

TEST(JpegPicture, DecodesSizeAndColoursOfBaselineProgressiveAndGrayscale) {
    const QImage source = quadrants();
    for (const JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive, JpegKind::Grayscale}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const std::optional<QImage> picture = decodeJpeg(encodeJpeg(source, kind));
        ASSERT_TRUE(picture.has_value());
        EXPECT_EQ(picture->size(), source.size());
        EXPECT_EQ(picture->format(), QImage::Format_RGB888);
        for (const QPoint point : {QPoint(8, 6), QPoint(50, 6), QPoint(8, 32), QPoint(50, 32), QPoint(66, 44)}) {
            SCOPED_TRACE(point.x() * 100 + point.y());
            const QColor expected = kind == JpegKind::Grayscale
                                        ? source.convertToFormat(QImage::Format_Grayscale8).pixelColor(point)
                                        : source.pixelColor(point);
            EXPECT_TRUE(near(picture->pixelColor(point), expected));
        }
    }
}

TEST(JpegPicture, ALargePictureIsDecodedForItsBoxCoveringItAtNoMoreThanTwiceItsSize) {
    // The quadrants scaled up 40 times: 2680 x 1800, its colour borders still on block borders.
    const QImage source = quadrants().scaled(quadrants().size() * 40);
    const QByteArray bytes = encodeJpeg(source, JpegKind::Baseline);
    struct Case {
        QSize box;
        QSize decoded;
    };
    const Case cases[] = {
        {QSize(297, 272), QSize(594, 450)}, // a quarter covers the box; its width is then kept at twice the box's
        {QSize(200, 100), QSize(335, 200)}, // an eighth
        {QSize(2000, 1000), QSize(2680, 1800)},
        {QSize(), QSize(2680, 1800)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box.width() * 10000 + c.box.height());
        const std::optional<QImage> picture = decodeJpeg(bytes, c.box);
        ASSERT_TRUE(picture.has_value());
        EXPECT_EQ(picture->size(), c.decoded);
        const auto at = [&](double x, double y) {
            return picture->pixelColor(static_cast<int>(x * picture->width()), static_cast<int>(y * picture->height()));
        };
        EXPECT_TRUE(near(at(0.1, 0.1), QColor(220, 30, 30)));
        EXPECT_TRUE(near(at(0.9, 0.1), QColor(30, 200, 40)));
        EXPECT_TRUE(near(at(0.1, 0.9), QColor(30, 40, 210)));
        EXPECT_TRUE(near(at(0.9, 0.9), QColor(240, 240, 240)));
    }
}

TEST(JpegPicture, CmykIsConvertedTakingSamplesAsInverted) {
    struct Case {
        std::array<unsigned char, 4> stored;
        QColor expected;
    };
    const Case cases[] = {
        {{255, 255, 255, 255}, QColor(255, 255, 255)}, // no ink at all
        {{255, 0, 255, 255}, QColor(255, 0, 255)},     // full magenta
        {{255, 255, 255, 128}, QColor(128, 128, 128)}, // half black
        {{0, 255, 255, 0}, QColor(0, 0, 0)},           // full black over cyan
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.name().toStdString());
        const std::optional<QImage> picture = decodeJpeg(vornic::test::encodeCmykJpeg(19, 9, c.stored));
        ASSERT_TRUE(picture.has_value());
        EXPECT_EQ(picture->size(), QSize(19, 9));
        EXPECT_TRUE(near(picture->pixelColor(9, 4), c.expected, 8));
    }
}

// A stream cut anywhere, even just before its last byte, is refused rather than shown with a grey remainder.
TEST(JpegPicture, RefusesEveryCutShortStream) {
    for (const JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive, JpegKind::Grayscale}) {
        const QByteArray whole = encodeJpeg(quadrants(), kind);
        ASSERT_TRUE(decodeJpeg(whole).has_value());
        for (qsizetype length = 0; length < whole.size(); ++length)
            ASSERT_FALSE(decodeJpeg(QByteArrayView(whole).first(length)).has_value())
                << "kind " << static_cast<int>(kind) << ", first " << length << " of " << whole.size() << " bytes";
    }
}

qsizetype scanDataStart(const QByteArray& jpeg) {
    const qsizetype sos = jpeg.lastIndexOf(QByteArrayView("\xFF\xDA"));
    return sos + 2 + (static_cast<unsigned char>(jpeg[sos + 2]) << 8 | static_cast<unsigned char>(jpeg[sos + 3]));
}

TEST(JpegPicture, RefusesDamagedStreams) {
    const QByteArray whole = encodeJpeg(quadrants());
    const qsizetype middle = (scanDataStart(whole) + whole.size()) / 2;

    QList<QByteArray> damaged;
    for (const char* marker : {"\xFF\xD9", "\xFF\xD3"}) { // end of image, or a restart that no interval announced
        QByteArray bytes = whole;
        bytes.replace(middle, 2, marker, 2);
        damaged.append(bytes);
    }
    QRandomGenerator random(1914);
    for (const int length : {2, 3, 16, 200, 3000}) {
        QByteArray bytes("\xFF\xD8");
        while (bytes.size() < length)
            bytes.append(static_cast<char>(random.bounded(256)));
        damaged.append(bytes);
    }
    for (const QByteArray& bytes : damaged)
        EXPECT_FALSE(decodeJpeg(bytes).has_value()) << bytes.left(8).toHex().toStdString() << " .. " << bytes.size();
}

TEST(JpegPicture, RefusesSidesBeyondTheLimitBeforeDecoding) {
    struct Case {
        QSize size;
        bool decoded;
    };
    const Case cases[] = {
        {QSize(vornic::kMaxJpegSide, 8), true},
        {QSize(vornic::kMaxJpegSide + 1, 8), false},
        {QSize(8, vornic::kMaxJpegSide + 1), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size.width() * 100000 + c.size.height());
        QImage white(c.size, QImage::Format_RGB32);
        white.fill(Qt::white);
        const std::optional<QImage> picture = decodeJpeg(encodeJpeg(white));
        ASSERT_EQ(picture.has_value(), c.decoded);
        if (c.decoded) {
            EXPECT_EQ(picture->size(), c.size);
        }
    }
}

TEST(JpegPicture, OnlyBytesStartingWithFfD8LookLikeJpeg) {
    struct Case {
        QByteArray bytes;
        bool looksLike;
    };
    const Case cases[] = {
        {QByteArray(), false},
        {QByteArray("\xFF"), false},
        {QByteArray("\xFF\xD8"), true},
        {QByteArray("\xD8\xFF\xE0"), false},
        {QByteArray("\xFF\xD9\xFF\xD8"), false},
        {QByteArray("GIF89a"), false},
        {QByteArray(1, '\0') + encodeJpeg(quadrants()), false},
        {encodeJpeg(quadrants()), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.left(6).toHex().toStdString());
        EXPECT_EQ(vornic::looksLikeJpeg(c.bytes), c.looksLike);
        if (!c.looksLike) {
            EXPECT_FALSE(decodeJpeg(c.bytes).has_value());
        }
    }
}

} // namespace
