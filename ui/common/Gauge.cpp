#include "ui/common/Gauge.h"

#include <QPainter>

#include <algorithm>

namespace vornic {

Gauge::Gauge(QWidget* parent) : QWidget(parent) {
    resize(sizeHint());
}

void Gauge::setProgress(int value) {
    value = std::clamp(value, 0, 100);
    if (value == progress_)
        return;
    progress_ = value;
    update();
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QColor(64, 64, 64));
    painter.drawRect(frame);

    const QRect inside = rect().adjusted(1, 1, -1, -1);
    const int filled = (inside.height() * progress_ + 50) / 100;
    painter.fillRect(inside.left(), inside.bottom() - filled + 1, inside.width(), filled, QColor(192, 192, 192));

    painter.setPen(Qt::black);
    painter.drawText(inside, Qt::AlignCenter, QString::number(progress_) + u'%');
}

} // namespace vornic
