#pragma once

#include "download/HttpClient.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

class QTimer;

namespace vornic {

// One "row" of the update description, its attributes as the server wrote them.
struct UpdateRow {
    QString version; // "Version": a decimal integer, or anything the server sent
    QString put;     // "Put": the update file's name in "Software_Update/" and in the client's "Updates/" folder
    // The publisher's seal (tools/update_key): the file's length in bytes, its SHA-256 in hexadecimal, the
    // publisher's public key and its Ed25519 signature over updateSignedText() of the four values, base64.
    QString size;      // "Size"
    QString sha256;    // "SHA256"
    QString key;       // "Key"
    QString signature; // "Signature"
};

// The most an update description may take, in bytes: more is no description of this client's.
inline constexpr qint64 kUpdateDescriptionLimit = 1024 * 1024;
// How deep its elements may nest: the rows are the root's children, and nothing the client reads lies deeper.
inline constexpr int kUpdateDescriptionDepthLimit = 32;

// The "row" children of the description's root, in document order; other nodes are passed over. Throws Failure
// when the bytes are not an XML document, are more than kUpdateDescriptionLimit or nest deeper than
// kUpdateDescriptionDepthLimit.
QList<UpdateRow> parseUpdateDescription(const QByteArray& bytes);

// Why a row's update may not be fetched, in the operator's words, or nothing when a trusted key signed its version,
// file name, size and hash: no seal, a key the client does not trust, or a signature that does not hold for the
// row's values (one of them was changed after the signing).
std::optional<QString> updateRowRefusal(const UpdateRow& row, const QList<QByteArray>& trustedKeys);
// Why the fetched file is not the one the row's seal names (another length, another hash), or nothing.
std::optional<QString> updateFileRefusal(const UpdateRow& row, const QByteArray& file);

// Whether the offered version is newer than the current one; nothing when either is not a decimal integer.
std::optional<bool> isNewerVersion(const QString& offered, const QString& current);

// The update file is written into the update folder and then opened: its name must stay there. Refused: an empty
// name, "." and "..", a path separator of either kind, a drive or stream colon, a control character.
bool isPlainFileName(const QString& name);

// The folder of the data folder that downloaded updates go into, and nothing else: whatever name the server
// gives, the file can never be one of the client's own (its settings, its database, a schema description).
QString updateFolder(const QString& dataFolder);

// The caption the update window shows for a failed request; nothing for a failure it does not report.
std::optional<QString> updateFailureCaption(const HttpFailure& failure);

} // namespace vornic

// The update check of one client start: it asks the server's "Software_Update/" folder whether a newer version
// exists and, when one does, has the update window shown and waits for the operator. On "Скачать" it fetches the
// file into the update folder of the data folder and asks for it to be opened and the client ended; on "Выход" it
// ends. Only a whole file ever appears there under the update's name: a failed or interrupted transfer leaves
// nothing.
//
// Its effects on windows are signals, which reach the user-interface thread in the order sent; it touches no
// database and no window itself.
class ThreadUpdate final : public QThread {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThreadUpdate)

public:
    static constexpr qint64 kDescriptionLimit = vornic::kUpdateDescriptionLimit;
    static constexpr qint64 kFileLimit = 512 * 1024 * 1024;

    // Made on the user-interface thread, with the server base address and the client's version as they stand now
    // (the version trimmed). Switches the main window's timer off: it comes on again only for a newer version.
    // trustedKeys: the public keys an update must be signed with (Services::updateKeys).
    ThreadUpdate(QString baseAddress, const QString& currentVersion, QString dataFolder, QTimer& mainTimer,
                 QList<QByteArray> trustedKeys);
    // Ends a check still waiting or fetching, without writing or opening anything, and waits for it.
    ~ThreadUpdate() override;

    // "Скачать": a check waiting for the operator goes on with the download. False when none was waiting.
    bool proceed();
    // "Выход": a waiting check ends; a download in progress completes and is written but not opened. Never waits.
    void requestStop();
    // The program is closing: a transfer in flight is given up and nothing more is written.
    void abandon();

    bool waitingForOperator() const;
    const QString& baseAddress() const { return baseAddress_; }
    const QString& currentVersion() const { return currentVersion_; }

Q_SIGNALS:
    void mainTimerSwitched(bool on);
    void captionChanged(const QString& caption);
    void hideRequested();
    // A transfer began or progressed; expected is -1 when the server did not announce the size.
    void transferProgressed(qint64 expected, qint64 received);
    // The update file is written: open it and end the client.
    void updateReady(const QString& path);

protected:
    void run() override;

private:
    enum class Choice { None, Download, Exit };
    // Waits without a lock held and without using the processor until the operator has chosen or the program ends.
    Choice awaitOperator();
    void download(const vornic::UpdateRow& row);

    const QString baseAddress_;
    const QString currentVersion_;
    const QString dataFolder_;
    const QList<QByteArray> trustedKeys_;
    std::atomic_bool stop_{false};
    std::atomic_bool abandoned_{false};
    mutable std::mutex mutex_;
    std::condition_variable decided_;
    bool waiting_ = false;
    bool downloadChosen_ = false;
};
