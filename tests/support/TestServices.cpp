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

const UpdateKeyPair& testPublisher() {
    static const UpdateKeyPair publisher = makeUpdateKeyPair();
    return publisher;
}

QString signedUpdateRow(const QString& version, const QString& put, const QByteArray& file,
                        const UpdateKeyPair& publisher) {
    const QString size = QString::number(file.size());
    const QString hash = QString::fromLatin1(updateFileHash(file));
    const QByteArray signature = signUpdate(publisher.privateKey, updateSignedText(version, put, size, hash));
    return QStringLiteral("<row Version=\"%1\" Put=\"%2\" Size=\"%3\" SHA256=\"%4\" Key=\"%5\" Signature=\"%6\"/>")
        .arg(version.toHtmlEscaped(), put.toHtmlEscaped(), size, hash,
             QString::fromLatin1(publisher.publicKey.toBase64()), QString::fromLatin1(signature.toBase64()));
}

ScopedTestServices::ScopedTestServices() : previous_(services()) {
    services() = Services{&messages, &files, &clock, &shell, &process, {testPublisher().publicKey}};
}

ScopedTestServices::~ScopedTestServices() {
    services() = previous_;
}

} // namespace vornic
