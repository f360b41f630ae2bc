#include "ui/common/WindowLayout.h"

#include "base/IniFile.h"
#include "base/Settings.h"

#include <QTableView>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// The states as the settings file numbers them.
enum StoredState { Normal = 0, Minimised = 1, Maximised = 2 };

} // namespace

WindowLayout::WindowLayout(QString section, QWidget* window, QTableView* grid, QList<LayoutColumn> columns)
    : section_(std::move(section)), window_(window), grid_(grid), columns_(std::move(columns)) {}

IntegerSetting WindowLayout::columnWidth(const LayoutColumn& column) const {
    return settings::columnWidth(section_, u"DBGrid1"_s, column.field);
}

void WindowLayout::restore(const IniFile& settings) const {
    // A width of 0 is what a missing key reads as, and on a first start every key is missing: a column drawn
    // with no width would hide its data, so such a column keeps the width it was designed with.
    for (const LayoutColumn& column : columns_) {
        const int width = readSetting(settings, columnWidth(column));
        grid_->setColumnWidth(column.column, width > 0 ? width : column.designWidth);
    }

    // A window closed minimised comes back maximised rather than out of sight.
    if (readSetting(settings, settings::windowState(section_)) != Normal) {
        window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
        return;
    }
    // Without a stored size the window keeps its design size rather than collapsing to nothing.
    const int width = readSetting(settings, settings::windowWidth(section_));
    const int height = readSetting(settings, settings::windowHeight(section_));
    if (width > 0 && height > 0)
        window_->resize(width, height);
}

void WindowLayout::save(IniFile& settings) const {
    for (const LayoutColumn& column : columns_)
        writeSetting(settings, columnWidth(column), grid_->columnWidth(column.column));

    const Qt::WindowStates states = window_->windowState();
    StoredState state = Normal;
    if (states.testFlag(Qt::WindowMinimized))
        state = Minimised;
    else if (states.testAnyFlags(Qt::WindowMaximized | Qt::WindowFullScreen))
        state = Maximised;

    // Only a normal window's size is worth keeping: a maximised one would come back filling the screen even
    // after the operator restores it.
    if (state == Normal) {
        writeSetting(settings, settings::windowWidth(section_), window_->width());
        writeSetting(settings, settings::windowHeight(section_), window_->height());
    }
    writeSetting(settings, settings::windowState(section_), state);
}

} // namespace vornic
