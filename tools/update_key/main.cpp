// The publisher's key for signed updates:
//   update_key new PRIVATE_KEY_FILE          makes a key pair: the private key goes into the file, readable by its
//                                            owner alone, and the public key is printed (base64), for the clients
//                                            to trust (-DVORNIC_UPDATE_KEYS=… or a file in the keys folder)
//   update_key public PRIVATE_KEY_FILE       prints the public key of a private one
//   update_key sign PRIVATE_KEY_FILE VERSION FILE
//                                            prints the attributes that the row offering FILE as VERSION carries in
//                                            the update description: Size, SHA256, Key and Signature
// Keys are kept as base64 of their 32 bytes, one line.

#include "base/Failure.h"
#include "update/UpdateSignature.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

int usage() {
    std::fputs("usage: update_key new PRIVATE_KEY_FILE\n"
               "       update_key public PRIVATE_KEY_FILE\n"
               "       update_key sign PRIVATE_KEY_FILE VERSION FILE\n",
               stderr);
    return 2;
}

QByteArray readPrivateKey(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw vornic::Failure(QStringLiteral("Не удалось прочитать ключ «%1»: %2").arg(path, file.errorString()));
    const QByteArray key = QByteArray::fromBase64(file.readAll().trimmed());
    if (vornic::updatePublicKey(key).isEmpty())
        throw vornic::Failure(QStringLiteral("В файле «%1» нет ключа подписи обновлений.").arg(path));
    return key;
}

void makeKey(const QString& path) {
    if (QFileInfo::exists(path))
        throw vornic::Failure(QStringLiteral("Файл «%1» уже есть: ключ не заменён.").arg(path));
    const vornic::UpdateKeyPair pair = vornic::makeUpdateKeyPair();
    QFile file(path);
    // Readable by its owner alone before the key is written into it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(pair.privateKey.toBase64() + '\n') < 0 || !file.flush())
        throw vornic::Failure(QStringLiteral("Не удалось записать ключ «%1»: %2").arg(path, file.errorString()));
    std::printf("%s\n", pair.publicKey.toBase64().constData());
}

void sign(const QString& keyPath, const QString& version, const QString& filePath) {
    const QByteArray key = readPrivateKey(keyPath);
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw vornic::Failure(QStringLiteral("Не удалось прочитать «%1»: %2").arg(filePath, file.errorString()));
    const QByteArray bytes = file.readAll();
    const QString size = QString::number(bytes.size());
    const QString hash = QString::fromLatin1(vornic::updateFileHash(bytes));
    const QByteArray text = vornic::updateSignedText(version, QFileInfo(filePath).fileName(), size, hash);
    if (text.isEmpty())
        throw vornic::Failure(QStringLiteral("Версия или имя файла содержат перевод строки."));
    std::printf("Size=\"%s\" SHA256=\"%s\" Key=\"%s\" Signature=\"%s\"\n", qPrintable(size), qPrintable(hash),
                vornic::updatePublicKey(key).toBase64().constData(),
                vornic::signUpdate(key, text).toBase64().constData());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    try {
        if (arguments.size() == 2 && arguments[0] == u"new")
            makeKey(arguments[1]);
        else if (arguments.size() == 2 && arguments[0] == u"public")
            std::printf("%s\n", vornic::updatePublicKey(readPrivateKey(arguments[1])).toBase64().constData());
        else if (arguments.size() == 4 && arguments[0] == u"sign")
            sign(arguments[1], arguments[2], arguments[3]);
        else
            return usage();
    } catch (const vornic::Failure& failure) {
        std::fprintf(stderr, "update_key: %s\n", qPrintable(failure.text()));
        return 1;
    }
    return 0;
}
