#pragma once

#include "base/Services.h"

#include <QUrl>

namespace vornic {

// Message boxes over the active window of the program, captioned with the application title.
class WidgetMessageBoxes final : public MessageBoxes {
public:
    void inform(const QString& text) override;
    void reportError(const QString& text) override;
    bool ask(const QString& text) override;
};

// The file-save dialog. The filter comes in the "description|pattern|description|pattern" form in which the
// windows state it.
class WidgetFileDialogs final : public FileDialogs {
public:
    QString saveFileName(const QString& filter, const QString& initialName, const QString& defaultExtension) override;
};

class DesktopShell final : public Shell {
public:
    void open(const QString& target) override;
};

// What the desktop is asked to open for a target: a web address as it stands, anything else as a local file.
QUrl shellUrl(const QString& target);

// Puts the widget-based services in force; the clock and the process control keep their defaults.
void installWidgetServices();

} // namespace vornic
