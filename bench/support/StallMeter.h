#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace vornic::bench {

// The longest time the event loop went without turning while a piece of work ran: a timer asks to be called
// every millisecond, and the longest gap between two calls (or between the last call and the end) is the longest
// the windows could not answer. Work that never lets the loop turn measures its whole length.
class StallMeter final : public QObject {
public:
    StallMeter() {
        ticks_.setInterval(1);
        ticks_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticks_, &QTimer::timeout, this, [this] { tick(); });
    }

    void start() {
        longestNs_ = 0;
        clock_.start();
        lastNs_ = 0;
        ticks_.start();
    }
    // The longest stall in milliseconds.
    double stop() {
        tick();
        ticks_.stop();
        return static_cast<double>(longestNs_) / 1e6;
    }

private:
    void tick() {
        const qint64 now = clock_.nsecsElapsed();
        longestNs_ = std::max(longestNs_, now - lastNs_);
        lastNs_ = now;
    }

    QTimer ticks_;
    QElapsedTimer clock_;
    qint64 lastNs_ = 0;
    qint64 longestNs_ = 0;
};

// Runs work with the meter going; the longest stall in milliseconds.
template <class Work> double longestStallOf(Work&& work) {
    StallMeter meter;
    meter.start();
    work();
    return meter.stop();
}

} // namespace vornic::bench
