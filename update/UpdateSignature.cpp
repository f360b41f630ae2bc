#include "update/UpdateSignature.h"

#include "base/Failure.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <openssl/evp.h>

#include <memory>

namespace vornic {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, ContextFree>;

const unsigned char* bytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

Key privateKeyOf(const QByteArray& privateKey) {
    if (privateKey.size() != kUpdateKeyBytes)
        return {};
    return Key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, bytesOf(privateKey),
                                            static_cast<size_t>(privateKey.size())));
}

QByteArray rawPublicKey(EVP_PKEY* key) {
    QByteArray bytes(kUpdateKeyBytes, '\0');
    size_t length = static_cast<size_t>(bytes.size());
    if (EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char*>(bytes.data()), &length) != 1 ||
        length != static_cast<size_t>(kUpdateKeyBytes))
        return {};
    return bytes;
}

} // namespace

UpdateKeyPair makeUpdateKeyPair() {
    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    UpdateKeyPair pair;
    pair.privateKey.resize(kUpdateKeyBytes);
    size_t length = static_cast<size_t>(pair.privateKey.size());
    if (!key ||
        EVP_PKEY_get_raw_private_key(key.get(), reinterpret_cast<unsigned char*>(pair.privateKey.data()), &length) !=
            1 ||
        length != static_cast<size_t>(kUpdateKeyBytes))
        throw Failure(QStringLiteral("Не удалось создать ключ подписи обновлений."));
    pair.publicKey = rawPublicKey(key.get());
    if (pair.publicKey.isEmpty())
        throw Failure(QStringLiteral("Не удалось создать ключ подписи обновлений."));
    return pair;
}

QByteArray updatePublicKey(const QByteArray& privateKey) {
    const Key key = privateKeyOf(privateKey);
    return key ? rawPublicKey(key.get()) : QByteArray();
}

QByteArray signUpdate(const QByteArray& privateKey, const QByteArray& message) {
    const Key key = privateKeyOf(privateKey);
    const DigestContext context(EVP_MD_CTX_new());
    QByteArray signature(kUpdateSignatureBytes, '\0');
    size_t length = static_cast<size_t>(signature.size());
    if (!key || !context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length, bytesOf(message),
                       static_cast<size_t>(message.size())) != 1 ||
        length != static_cast<size_t>(kUpdateSignatureBytes))
        throw Failure(QStringLiteral("Ключ подписи обновлений не является ключом Ed25519."));
    return signature;
}

bool isUpdateSignature(const QByteArray& publicKey, const QByteArray& message, const QByteArray& signature) {
    if (publicKey.size() != kUpdateKeyBytes || signature.size() != kUpdateSignatureBytes)
        return false;
    const Key key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytesOf(publicKey),
                                              static_cast<size_t>(publicKey.size())));
    const DigestContext context(EVP_MD_CTX_new());
    return key && context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), bytesOf(signature), static_cast<size_t>(signature.size()), bytesOf(message),
                            static_cast<size_t>(message.size())) == 1;
}

QList<QByteArray> trustedUpdateKeys(const QString& keysFolder) {
    QList<QByteArray> texts;
#ifdef VORNIC_UPDATE_KEYS
    texts = QByteArray(VORNIC_UPDATE_KEYS).split(',');
#endif
    const QDir folder(keysFolder);
    for (const QString& name : folder.entryList({QStringLiteral("*.pub")}, QDir::Files | QDir::Readable, QDir::Name)) {
        QFile file(folder.filePath(name));
        // A key is a line of base64: a larger file is no key of ours.
        if (file.size() < 1024 && file.open(QIODevice::ReadOnly))
            texts.append(file.readAll());
    }
    QList<QByteArray> keys;
    for (const QByteArray& text : texts) {
        const auto decoded = QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
        if (decoded && (*decoded).size() == kUpdateKeyBytes && !keys.contains(*decoded))
            keys.append(*decoded);
    }
    return keys;
}

QByteArray updateFileHash(const QByteArray& file) {
    return QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex();
}

QByteArray updateSignedText(const QString& version, const QString& put, const QString& size, const QString& sha256) {
    // A value holding a line break could pose as the next line: such a row is signed by nobody.
    for (const QString& value : {version, put, size, sha256})
        if (value.contains(u'\n') || value.contains(u'\r'))
            return {};
    return (QStringLiteral("Vornic Client update\nVersion: ") + version + QStringLiteral("\nPut: ") + put +
            QStringLiteral("\nSize: ") + size + QStringLiteral("\nSHA256: ") + sha256 + u'\n')
        .toUtf8();
}

} // namespace vornic
