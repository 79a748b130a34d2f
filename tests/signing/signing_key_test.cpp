#include "support/minisign_tool.h"
#include "support/test_environment.h"

#include "host/settings_store.h"
#include "signing/signing_key.h"
#include "signing/trusted_keys.h"

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::runMinisign;
using test::ScratchFolder;

QString withoutLeadingZeros(QString text) {
    while (text.startsWith(QLatin1Char('0')))
        text.remove(0, 1);
    return text;
}

TEST(SigningKey, KeysMadeByMinisignAreReadAndTheirHalvesAgree) {
    ScratchFolder folder;
    ASSERT_EQ(runMinisign(folder.path(), {"-G", "-W", "-p", "k.pub", "-s", "k.key"}).exitCode, 0);
    const Result<PublicKey> pub = parsePublicKey(folder.read(QStringLiteral("k.pub")));
    ASSERT_TRUE(pub) << pub.error().toStdString();
    const Result<bool> encrypted = secretKeyIsEncrypted(folder.read(QStringLiteral("k.key")));
    ASSERT_TRUE(encrypted);
    EXPECT_FALSE(*encrypted);
    const Result<SecretKey> secret = parseSecretKey(folder.read(QStringLiteral("k.key")), std::nullopt);
    ASSERT_TRUE(secret) << secret.error().toStdString();
    EXPECT_EQ(secret->id, pub->id);
    EXPECT_EQ(secret->publicKey().key, pub->key);
    // minisign prints the id as a number without leading zeros in its comment.
    EXPECT_TRUE(QString::fromLatin1(folder.read(QStringLiteral("k.pub")))
                    .contains(withoutLeadingZeros(pub->id.text())));
    // The base64 line alone, as minisign -P takes it, reads the same.
    const Result<PublicKey> line = parsePublicKey(folder.read(QStringLiteral("k.pub")).split('\n').at(1));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->key, pub->key);
}

TEST(SigningKey, EncryptedSecretKeyOpensOnlyWithItsPassphraseAndMinisignSignsWithIt) {
    ScratchFolder folder;
    const Result<KeyPair> pair = generateKeyPair();
    ASSERT_TRUE(pair);
    const Result<QByteArray> text =
        secretKeyFileText(pair->secretKey, QByteArray("correct horse"), interactivePassphraseCost());
    ASSERT_TRUE(text) << text.error().toStdString();
    ASSERT_TRUE(folder.write(QStringLiteral("k.key"), *text));
    ASSERT_TRUE(folder.write(QStringLiteral("k.pub"), pair->publicKey.fileText()));
    ASSERT_TRUE(folder.write(QStringLiteral("f"), "payload"));

    EXPECT_TRUE(*secretKeyIsEncrypted(*text));
    const Result<SecretKey> opened = parseSecretKey(*text, QByteArray("correct horse"));
    ASSERT_TRUE(opened) << opened.error().toStdString();
    EXPECT_EQ(opened->key, pair->secretKey.key);
    const Result<SecretKey> wrong = parseSecretKey(*text, QByteArray("wrong"));
    ASSERT_FALSE(wrong);
    EXPECT_TRUE(wrong.error().contains(QLatin1String("passphrase is wrong")));
    EXPECT_FALSE(parseSecretKey(*text, std::nullopt));

    // minisign reads the passphrase from standard input when it has no terminal.
    const test::ToolRun sign =
        runMinisign(folder.path(), {"-S", "-s", "k.key", "-m", "f"}, "correct horse\n");
    ASSERT_EQ(sign.exitCode, 0) << sign.output.toStdString();
    const test::ToolRun verify = runMinisign(folder.path(), {"-V", "-p", "k.pub", "-m", "f"});
    EXPECT_EQ(verify.exitCode, 0) << verify.output.toStdString();
}

TEST(SigningKey, UnencryptedSecretKeyOfOursSignsWithMinisign) {
    ScratchFolder folder;
    const Result<KeyPair> pair = generateKeyPair();
    ASSERT_TRUE(pair);
    ASSERT_TRUE(folder.write(QStringLiteral("k.key"), *secretKeyFileText(pair->secretKey, std::nullopt, {})));
    ASSERT_TRUE(folder.write(QStringLiteral("k.pub"), pair->publicKey.fileText()));
    ASSERT_TRUE(folder.write(QStringLiteral("f"), "payload"));
    ASSERT_EQ(runMinisign(folder.path(), {"-S", "-W", "-s", "k.key", "-m", "f"}).exitCode, 0);
    EXPECT_EQ(runMinisign(folder.path(), {"-V", "-p", "k.pub", "-m", "f"}).exitCode, 0);
}

TEST(SigningKey, DamagedKeyFilesAreRefusedWithTheReason) {
    const Result<KeyPair> pair = generateKeyPair();
    ASSERT_TRUE(pair);
    QByteArray secret = *secretKeyFileText(pair->secretKey, std::nullopt, {});
    // One byte of the secret key itself changed: the halves no longer agree.
    QByteArray raw = QByteArray::fromBase64(secret.split('\n').at(1));
    raw[6 + 32 + 16 + 8 + 3] = static_cast<char>(raw[6 + 32 + 16 + 8 + 3] ^ 1);
    const Result<SecretKey> damaged =
        parseSecretKey(QByteArray("untrusted comment: x\n" + raw.toBase64() + "\n"), std::nullopt);
    ASSERT_FALSE(damaged);
    EXPECT_TRUE(damaged.error().contains(QLatin1String("damaged")));

    EXPECT_TRUE(parsePublicKey("").error().contains(QLatin1String("empty")));
    EXPECT_TRUE(
        parsePublicKey("untrusted comment: only a comment\n").error().contains(QLatin1String("ends after")));
    EXPECT_TRUE(parsePublicKey("not*base64").error().contains(QLatin1String("base64")));
    EXPECT_TRUE(parsePublicKey(QByteArray("Ed12345").toBase64())
                    .error()
                    .contains(QLatin1String("bytes instead of 42")));
}

TEST(TrustedKeysList, KeysComeFromTheSettingAndTheProgramFolderFile) {
    ScratchFolder folder;
    const KeyPair first = *generateKeyPair();
    const KeyPair second = *generateKeyPair();
    const KeyPair third = *generateKeyPair();
    SettingsStore settings(folder.registryPath());
    ASSERT_TRUE(
        settings.write(kSettingsKey, kTrustedKeysValue,
                       QString::fromLatin1(first.publicKey.base64() + " ; " + second.publicKey.base64())));
    ASSERT_TRUE(folder.write(kTrustedKeysFileName, "# operators\n" + third.publicKey.fileText() + "\n"));
    const Result<TrustedKeys> trusted = loadTrustedKeys(settings, folder.path());
    ASSERT_TRUE(trusted) << trusted.error().toStdString();
    ASSERT_EQ(trusted->keys.size(), 3);
    EXPECT_NE(trusted->find(third.publicKey.id), nullptr);
    EXPECT_EQ(trusted->find(generateKeyPair()->publicKey.id), nullptr);

    // A damaged line is an error naming it, never fewer keys.
    ASSERT_TRUE(folder.write(kTrustedKeysFileName, third.publicKey.fileText() + "RWQbroken\n"));
    const Result<TrustedKeys> broken = loadTrustedKeys(settings, folder.path());
    ASSERT_FALSE(broken);
    EXPECT_TRUE(broken.error().contains(QLatin1String("trusted_keys line 3")))
        << broken.error().toStdString();

    ScratchFolder empty;
    const Result<TrustedKeys> none = loadTrustedKeys(SettingsStore(empty.registryPath()), empty.path());
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->isEmpty());
}

} // namespace
} // namespace tarnlow
