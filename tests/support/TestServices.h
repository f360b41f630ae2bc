#pragma once

#include "base/Services.h"
#include "update/UpdateSignature.h"

#include <QList>
#include <QStringList>

namespace vornic {

enum class MessageKind { Information, Error, Question };

struct ShownMessage {
    MessageKind kind;
    QString text;
    friend bool operator==(const ShownMessage&, const ShownMessage&) = default;
};

// Records every message instead of showing it; questions take the preset answers in turn, then Yes.
class RecordingMessageBoxes final : public MessageBoxes {
public:
    void inform(const QString& text) override;
    void reportError(const QString& text) override;
    bool ask(const QString& text) override;

    QStringList texts() const;

    QList<ShownMessage> shown;
    QList<bool> answers;
};

struct SaveDialogCall {
    QString filter;
    QString initialName;
    QString defaultExtension;
    friend bool operator==(const SaveDialogCall&, const SaveDialogCall&) = default;
};

// Each save dialog takes the next preset name; with none left the operator cancels.
class PresetFileDialogs final : public FileDialogs {
public:
    QString saveFileName(const QString& filter, const QString& initialName, const QString& defaultExtension) override;

    QList<SaveDialogCall> calls;
    QStringList names;
};

class TestClock final : public Clock {
public:
    QDateTime now() const override { return current; }

    QDateTime current{QDate(2014, 11, 11), QTime(10, 30, 0)};
};

class RecordingShell final : public Shell {
public:
    void open(const QString& target) override { targets.append(target); }

    QStringList targets;
};

class RecordingProcessControl final : public ProcessControl {
public:
    void exitProcess(int code) override { exitCodes.append(code); }

    QList<int> exitCodes;
};

// The publisher of the tests' updates: ScopedTestServices trusts its key.
const UpdateKeyPair& testPublisher();
// A row of the update description offering file as version under the name put, with the seal that publisher's key
// gives it.
QString signedUpdateRow(const QString& version, const QString& put, const QByteArray& file,
                        const UpdateKeyPair& publisher = testPublisher());

// Puts all five doubles and the test publisher's key in force for its lifetime and gives the previous services
// back afterwards.
class ScopedTestServices final {
public:
    ScopedTestServices();
    ~ScopedTestServices();
    Q_DISABLE_COPY_MOVE(ScopedTestServices)

    RecordingMessageBoxes messages;
    PresetFileDialogs files;
    TestClock clock;
    RecordingShell shell;
    RecordingProcessControl process;

private:
    Services previous_;
};

} // namespace vornic
