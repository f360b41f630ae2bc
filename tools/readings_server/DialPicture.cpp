#include "tools/readings_server/DialPicture.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QPolygonF>
#include <QRadialGradient>
#include <QRectF>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <numbers>
#include <stdexcept>

#include <jpeglib.h>

namespace vornic {

namespace {

constexpr int pictureWidth = 320;
constexpr int pictureHeight = 240;

// Segments a to g, clockwise from the top, g in the middle.
enum Segment { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };
constexpr int segmentsOfDigit[10] = {
    A | B | C | D | E | F, B | C,         A | B | D | E | G,
    A | B | C | D | G,     B | C | F | G, A | C | D | F | G,
    A | C | D | E | F | G, A | B | C,     A | B | C | D | E | F | G,
    A | B | C | D | F | G,
};

// A blank drum for anything but a decimal digit.
int segmentsOf(QChar c) {
    return c >= u'0' && c <= u'9' ? segmentsOfDigit[c.unicode() - u'0'] : 0;
}

// One segment as a long hexagon between two points on its axis.
QPolygonF segmentShape(QPointF from, QPointF to, qreal thickness) {
    const qreal half = thickness / 2;
    if (from.y() == to.y())
        return QPolygonF({from,
                          {from.x() + half, from.y() - half},
                          {to.x() - half, to.y() - half},
                          to,
                          {to.x() - half, to.y() + half},
                          {from.x() + half, from.y() + half}});
    return QPolygonF({from,
                      {from.x() + half, from.y() + half},
                      {to.x() + half, to.y() - half},
                      to,
                      {to.x() - half, to.y() - half},
                      {from.x() - half, from.y() + half}});
}

void drawDigit(QPainter& painter, const QRectF& box, int segments, const QColor& ink) {
    const qreal t = box.width() * 0.18;
    const qreal gap = t * 0.15;
    const qreal left = box.left() + t / 2;
    const qreal right = box.right() - t / 2;
    const qreal top = box.top() + t / 2;
    const qreal middle = box.center().y();
    const qreal bottom = box.bottom() - t / 2;
    const struct {
        Segment segment;
        QPointF from, to;
    } shapes[] = {
        {A, {left + gap, top}, {right - gap, top}},        {B, {right, top + gap}, {right, middle - gap}},
        {C, {right, middle + gap}, {right, bottom - gap}}, {D, {left + gap, bottom}, {right - gap, bottom}},
        {E, {left, middle + gap}, {left, bottom - gap}},   {F, {left, top + gap}, {left, middle - gap}},
        {G, {left + gap, middle}, {right - gap, middle}},
    };
    painter.setPen(Qt::NoPen);
    for (const auto& shape : shapes) {
        // Unlit segments show faintly, as the printed figures of a drum do through the glass.
        QColor colour = ink;
        if (!(segments & shape.segment))
            colour.setAlpha(18);
        painter.setBrush(colour);
        painter.drawPolygon(segmentShape(shape.from, shape.to, t));
    }
}

void drawFace(QPainter& painter) {
    QLinearGradient backdrop(0, 0, 0, pictureHeight);
    backdrop.setColorAt(0, QColor(205, 200, 188));
    backdrop.setColorAt(1, QColor(150, 146, 136));
    painter.fillRect(QRectF(0, 0, pictureWidth, pictureHeight), backdrop);

    QRadialGradient face(QPointF(140, 90), 260);
    face.setColorAt(0, QColor(252, 251, 246));
    face.setColorAt(1, QColor(222, 219, 208));
    painter.setPen(QPen(QColor(70, 70, 78), 4));
    painter.setBrush(face);
    painter.drawRoundedRect(QRectF(8, 8, pictureWidth - 16, pictureHeight - 16), 22, 22);

    // The small wheel of the fractions, with its ticks and pointer.
    const QPointF hub(240, 178);
    painter.setPen(QPen(QColor(60, 60, 60), 2));
    painter.setBrush(QColor(245, 244, 238));
    painter.drawEllipse(hub, 32, 32);
    for (int tick = 0; tick < 10; ++tick) {
        const qreal angle = tick * std::numbers::pi / 5;
        painter.drawLine(hub + QPointF(std::sin(angle) * 25, -std::cos(angle) * 25),
                         hub + QPointF(std::sin(angle) * 31, -std::cos(angle) * 31));
    }
    painter.setPen(QPen(QColor(190, 30, 30), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(hub, hub + QPointF(18, -14));
}

} // namespace

QImage drawDialPicture(const QString& digits, int scanner) {
    QImage picture(pictureWidth, pictureHeight, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    drawFace(painter);

    // The counter window: one drum per digit, the last one red as on a water meter.
    const QRectF window(30, 42, 260, 96);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(28, 28, 32));
    painter.drawRoundedRect(window, 8, 8);
    const int drums = qMax(1, int(digits.size()));
    const qreal pitch = (window.width() - 16) / drums;
    for (int i = 0; i < drums; ++i) {
        const bool last = i == drums - 1;
        const QRectF drum(window.left() + 8 + i * pitch + 3, window.top() + 8, pitch - 6, window.height() - 16);
        QLinearGradient shade(drum.topLeft(), drum.bottomLeft());
        shade.setColorAt(0, last ? QColor(150, 20, 20) : QColor(170, 170, 170));
        shade.setColorAt(0.5, last ? QColor(215, 40, 40) : QColor(250, 250, 248));
        shade.setColorAt(1, last ? QColor(150, 20, 20) : QColor(170, 170, 170));
        painter.setPen(Qt::NoPen);
        painter.setBrush(shade);
        painter.drawRect(drum);
        const QRectF glyph =
            drum.adjusted(drum.width() * 0.18, drum.height() * 0.12, -drum.width() * 0.18, -drum.height() * 0.12);
        drawDigit(painter, glyph, segmentsOf(i < digits.size() ? digits.at(i) : QChar()),
                  last ? QColor(255, 255, 255) : QColor(20, 20, 20));
    }

    // The scanner's number as a small serial plate.
    const QString serial = QString::number(scanner);
    const QRectF plate(28, 164, 12.0 * serial.size() + 12, 30);
    painter.setPen(QPen(QColor(90, 90, 90), 1));
    painter.setBrush(QColor(236, 234, 226));
    painter.drawRect(plate);
    for (int i = 0; i < serial.size(); ++i)
        drawDigit(painter, QRectF(plate.left() + 6 + i * 12.0, plate.top() + 5, 9, 20), segmentsOf(serial.at(i)),
                  QColor(40, 40, 40));
    painter.end();
    return picture;
}

namespace {

// libjpeg reports a failure by calling error_exit, which must not return; it jumps back to encodeJpeg.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf failed;
};

[[noreturn]] void leaveOnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->failed, 1);
}

// Output straight into a QByteArray, so that nothing of libjpeg's own memory outlives the compressor.
struct JpegOutput {
    jpeg_destination_mgr manager;
    QByteArray bytes;
};

constexpr qsizetype outputChunk = 16 * 1024;

JpegOutput& outputOf(j_compress_ptr info) {
    return *reinterpret_cast<JpegOutput*>(info->dest);
}

void startOutput(j_compress_ptr info) {
    JpegOutput& output = outputOf(info);
    output.bytes.resize(outputChunk);
    output.manager.next_output_byte = reinterpret_cast<JOCTET*>(output.bytes.data());
    output.manager.free_in_buffer = size_t(output.bytes.size());
}

boolean growOutput(j_compress_ptr info) {
    JpegOutput& output = outputOf(info);
    // libjpeg calls this only when the whole buffer is full, whatever free_in_buffer says.
    const qsizetype used = output.bytes.size();
    output.bytes.resize(used + outputChunk);
    output.manager.next_output_byte = reinterpret_cast<JOCTET*>(output.bytes.data() + used);
    output.manager.free_in_buffer = size_t(outputChunk);
    return TRUE;
}

void finishOutput(j_compress_ptr info) {
    JpegOutput& output = outputOf(info);
    output.bytes.resize(output.bytes.size() - qsizetype(output.manager.free_in_buffer));
}

// Owns the compress struct from before its creation to its end, on every path out of encodeJpeg.
struct JpegCompressor {
    jpeg_compress_struct info{};
    JpegErrors errors{};
    JpegOutput output{};

    JpegCompressor() {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = leaveOnJpegError;
        output.manager.init_destination = startOutput;
        output.manager.empty_output_buffer = growOutput;
        output.manager.term_destination = finishOutput;
    }
    ~JpegCompressor() { jpeg_destroy_compress(&info); } // harmless on a struct that was never created
    JpegCompressor(const JpegCompressor&) = delete;
    JpegCompressor& operator=(const JpegCompressor&) = delete;
};

} // namespace

QByteArray encodeJpeg(const QImage& picture, int quality, int restartEveryMcus) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    JpegCompressor jpeg;
    // Nothing with a destructor may begin its life between here and the last libjpeg call: a jump back here
    // would skip it.
    if (setjmp(jpeg.errors.failed))
        throw std::runtime_error("JPEG compression failed");
    jpeg_CreateCompress(&jpeg.info, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
    jpeg.info.dest = &jpeg.output.manager;
    jpeg.info.image_width = JDIMENSION(rgb.width());
    jpeg.info.image_height = JDIMENSION(rgb.height());
    jpeg.info.input_components = 3;
    jpeg.info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&jpeg.info);
    jpeg_set_quality(&jpeg.info, quality, TRUE);
    jpeg.info.restart_interval = static_cast<unsigned int>(qMax(0, restartEveryMcus));
    jpeg_start_compress(&jpeg.info, TRUE);
    while (jpeg.info.next_scanline < jpeg.info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(jpeg.info.next_scanline)));
        jpeg_write_scanlines(&jpeg.info, &row, 1);
    }
    jpeg_finish_compress(&jpeg.info);
    return jpeg.output.bytes;
}

QByteArray padJpeg(const QByteArray& jpeg, int size) {
    // The JFIF header must stay right behind the start marker, so the comments go after it.
    qsizetype at = 2;
    if (jpeg.size() >= 6 && jpeg.startsWith("\xFF\xD8\xFF\xE0"))
        at = 4 + ((qsizetype(quint8(jpeg.at(4))) << 8) | quint8(jpeg.at(5)));
    if (at > jpeg.size())
        return jpeg;

    QByteArray padding;
    qsizetype missing = size - jpeg.size();
    while (missing >= 4) {
        // A segment is its marker (2 bytes) and a length that counts itself (2 bytes) and at most 65533 bytes.
        const qsizetype length = qMin<qsizetype>(missing - 2, 0xFFFF);
        padding += "\xFF\xFE";
        padding += char(length >> 8);
        padding += char(length & 0xFF);
        padding += QByteArray(length - 2, 'x');
        missing -= length + 2;
    }
    QByteArray padded = jpeg;
    padded.insert(at, padding);
    return padded;
}

} // namespace vornic
