#include "support/TestServices.h"

namespace vornic {

void RecordingMessageBoxes::inform(const QString& text) {
    shown.append({MessageKind::Information, text});
}

void RecordingMessageBoxes::reportError(const QString& text) {
    shown.append({MessageKind::Error, text});
}

bool RecordingMessageBoxes::ask(const QString& text) {
    shown.append({MessageKind::Question, text});
    return answers.isEmpty() ? true : answers.takeFirst();
}

QStringList RecordingMessageBoxes::texts() const {
    QStringList result;
    for (const ShownMessage& message : shown)
        result.append(message.text);
    return result;
}

QString PresetFileDialogs::saveFileName(const QString& filter, const QString& initialName,
                                        const QString& defaultExtension) {
    calls.append({filter, initialName, defaultExtension});
    return names.isEmpty() ? QString() : names.takeFirst();
}

ScopedTestServices::ScopedTestServices() : previous_(services()) {
    services() = Services{&messages, &files, &clock, &shell, &process};
}

ScopedTestServices::~ScopedTestServices() {
    services() = previous_;
}

} // namespace vornic
