#pragma once

#include <QObject>
#include <QTimer>

namespace vornic {

class DataSet;

// Reads the rest of a long list a slice at a time while the window has nothing else to do, so that a move to the
// end of a hundred thousand objects finds their rows read rather than reading them all then. A slice takes a few
// milliseconds and the window answers between two; only a list that is browsed is read on, never one with a row
// open for editing.
class ListReadAhead final : public QObject {
    Q_OBJECT

public:
    static constexpr int kRowsASlice = 2048;
    static constexpr int kPauseWhileEdited = 100; // ms

    explicit ListReadAhead(DataSet& list, QObject* parent = nullptr);

    bool isReading() const { return timer_.isActive(); }

private:
    void readSlice();

    DataSet& list_;
    QTimer timer_;
};

} // namespace vornic
