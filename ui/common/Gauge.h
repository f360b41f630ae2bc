#pragma once

#include <QWidget>

namespace vornic {

// A vertical bar gauge from 0 to 100: white, filled in silver from the bottom in proportion to its value, with the
// value written as a percentage in the middle. Values outside the range are shown as its nearer end.
class Gauge final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Gauge)
    Q_PROPERTY(int progress READ progress WRITE setProgress)

public:
    explicit Gauge(QWidget* parent = nullptr);

    int progress() const { return progress_; }
    void setProgress(int value);

    QSize sizeHint() const override { return {82, 159}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int progress_ = 0;
};

} // namespace vornic
