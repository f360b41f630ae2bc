#include "ui/common/ListReadAhead.h"

#include "db/DataSet.h"

#include <exception>

namespace vornic {

ListReadAhead::ListReadAhead(DataSet& list, QObject* parent) : QObject(parent), list_(list) {
    connect(&timer_, &QTimer::timeout, this, &ListReadAhead::readSlice);
    connect(&list_, &DataSet::opened, &timer_, [this] { timer_.start(0); });
    connect(&list_, &DataSet::aboutToClose, &timer_, &QTimer::stop);
    if (list_.isOpen())
        timer_.start(0);
}

void ListReadAhead::readSlice() {
    if (!list_.isOpen() || !list_.canFetchMore()) {
        timer_.stop();
        return;
    }
    // While a row is open the list is looked at again now and then, not between every two events.
    const bool browsed = list_.state() == DataSet::State::Browse;
    timer_.setInterval(browsed ? 0 : kPauseWhileEdited);
    if (!browsed)
        return;
    try {
        list_.fetchMore(kRowsASlice);
    } catch (const std::exception&) {
        // Nobody asked for these rows yet: the failure is left for the move that needs them, which reads them
        // again and says why it cannot.
        timer_.stop();
    }
}

} // namespace vornic
