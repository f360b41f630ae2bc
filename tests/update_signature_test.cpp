#include "update/UpdateSignature.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vornic {
namespace {

QByteArray signedText(const QString& version = QStringLiteral("84"),
                      const QString& put = QStringLiteral("vornic-client_84_amd64.deb"),
                      const QString& size = QStringLiteral("1234"), const QString& sha256 = QString(64, u'a')) {
    return updateSignedText(version, put, size, sha256);
}

// A signature holds for its key and its text alone: any value of the row changed, another key, a signature cut
// short or with one bit flipped is no signature.
TEST(UpdateSignature, HoldsForItsKeyAndTextAlone) {
    const UpdateKeyPair pair = makeUpdateKeyPair();
    ASSERT_EQ(pair.publicKey.size(), kUpdateKeyBytes);
    EXPECT_EQ(updatePublicKey(pair.privateKey), pair.publicKey);
    const QByteArray text = signedText();
    const QByteArray signature = signUpdate(pair.privateKey, text);
    EXPECT_TRUE(isUpdateSignature(pair.publicKey, text, signature));

    QByteArray flipped = signature;
    flipped[10] = static_cast<char>(flipped[10] ^ 1);
    const struct {
        const char* what;
        QByteArray key;
        QByteArray text;
        QByteArray signature;
    } refused[] = {
        {"another version", pair.publicKey, signedText(QStringLiteral("85")), signature},
        {"another file name", pair.publicKey, signedText({}, QStringLiteral("other.deb")), signature},
        {"another size", pair.publicKey, signedText({}, {}, QStringLiteral("1235")), signature},
        {"another hash", pair.publicKey, signedText({}, {}, {}, QString(64, u'b')), signature},
        {"another key", makeUpdateKeyPair().publicKey, text, signature},
        {"a key cut short", pair.publicKey.left(31), text, signature},
        {"a signature cut short", pair.publicKey, text, signature.left(63)},
        {"a bit flipped", pair.publicKey, text, flipped},
        {"no signature", pair.publicKey, text, QByteArray()},
    };
    for (const auto& c : refused)
        EXPECT_FALSE(isUpdateSignature(c.key, c.text, c.signature)) << c.what;
    // A value that breaks its line could pose as the next line: nothing is signed then.
    EXPECT_TRUE(signedText(QStringLiteral("84\nPut: x")).isEmpty());
    EXPECT_TRUE(updatePublicKey(QByteArray(5, 'x')).isEmpty());
}

TEST(UpdateSignature, TheFileHashIsItsSha256InHex) {
    EXPECT_EQ(updateFileHash("abc"),
              QByteArrayLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
}

// The publisher's tool makes a key the client can check against and prints the signed attributes of a file's row;
// it never replaces a key it made before.
TEST(UpdateKeyTool, SignsARowThatTheClientsCheckHolds) {
    const QTemporaryDir folder;
    const QString key = folder.filePath(QStringLiteral("publisher.key"));
    const auto tool = [](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(VORNIC_UPDATE_KEY_PATH), arguments);
        process.waitForFinished(30000);
        return std::make_pair(process.exitCode(), process.readAllStandardOutput().trimmed());
    };
    const auto [made, publicKeyText] = tool({QStringLiteral("new"), key});
    ASSERT_EQ(made, 0);
    EXPECT_EQ(QFile(key).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    EXPECT_NE(tool({QStringLiteral("new"), key}).first, 0) << "a second key over the first";
    EXPECT_EQ(tool({QStringLiteral("public"), key}).second, publicKeyText);

    const QString update = folder.filePath(QStringLiteral("vornic-client_84_amd64.deb"));
    QFile file(update);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("package bytes");
    file.close();
    const auto [signedOk, attributes] = tool({QStringLiteral("sign"), key, QStringLiteral("84"), update});
    ASSERT_EQ(signedOk, 0);
    QMap<QString, QString> values;
    for (const QByteArray& pair : attributes.split(' ')) {
        const qsizetype equals = pair.indexOf('=');
        values.insert(QString::fromLatin1(pair.left(equals)), QString::fromLatin1(pair.mid(equals + 2).chopped(1)));
    }
    EXPECT_EQ(values.value(QStringLiteral("Size")), QStringLiteral("13"));
    EXPECT_EQ(values.value(QStringLiteral("SHA256")), QString::fromLatin1(updateFileHash("package bytes")));
    EXPECT_EQ(values.value(QStringLiteral("Key")).toLatin1(), publicKeyText);
    const QByteArray text =
        updateSignedText(QStringLiteral("84"), QStringLiteral("vornic-client_84_amd64.deb"),
                         values.value(QStringLiteral("Size")), values.value(QStringLiteral("SHA256")));
    EXPECT_TRUE(isUpdateSignature(QByteArray::fromBase64(publicKeyText), text,
                                  QByteArray::fromBase64(values.value(QStringLiteral("Signature")).toLatin1())));
}

} // namespace
} // namespace vornic
