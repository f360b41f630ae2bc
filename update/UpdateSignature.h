#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vornic {

// A publisher's Ed25519 key pair: the private key signs the rows of the update description, the public key lets a
// client check them. Each is the 32 bytes of the key itself; in files and attributes they travel as base64.
struct UpdateKeyPair {
    QByteArray privateKey;
    QByteArray publicKey;
};
inline constexpr qsizetype kUpdateKeyBytes = 32;
inline constexpr qsizetype kUpdateSignatureBytes = 64;

// A fresh key pair from the system's random source. Throws Failure when the cryptography library refuses.
UpdateKeyPair makeUpdateKeyPair();
// The public key of a private one; empty when it is no Ed25519 key.
QByteArray updatePublicKey(const QByteArray& privateKey);
// The signature of message; throws Failure when the private key is no Ed25519 key.
QByteArray signUpdate(const QByteArray& privateKey, const QByteArray& message);
// Whether signature is the public key's over message. A key or signature of the wrong length is no match.
bool isUpdateSignature(const QByteArray& publicKey, const QByteArray& message, const QByteArray& signature);

// The folder where an office that publishes its own builds puts its public keys, one base64 key in each "*.pub"
// file; the package owns it.
inline constexpr char kUpdateKeysFolder[] = "/etc/vornic-client/update-keys";
// The public keys the client trusts: those built in (-DVORNIC_UPDATE_KEYS=KEY,KEY…) and those of the folder's
// "*.pub" files. Whatever is no key of 32 bytes is passed over.
QList<QByteArray> trustedUpdateKeys(const QString& keysFolder);

// The file's SHA-256, as 64 lowercase hexadecimal digits.
QByteArray updateFileHash(const QByteArray& file);

// What a signature of an update covers: the version offered, the file's name, its length and its SHA-256 (as the
// row of the description writes them), in lines of their own, so that no value can be moved into another.
QByteArray updateSignedText(const QString& version, const QString& put, const QString& size, const QString& sha256);

} // namespace vornic
