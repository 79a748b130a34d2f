#include "support/cli_process.h"
#include "support/minisign_tool.h"
#include "support/test_environment.h"

#include "host/settings_store.h"
#include "signing/signing_key.h"
#include "signing/trusted_keys.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::CliRun;
using test::runCli;
using test::runMinisign;
using test::ScratchFolder;

class SigningCommandsTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return scratch.file(QString::fromUtf8(name)); }

    // A package with two files, written by pack.
    QString pack() {
        EXPECT_TRUE(scratch.write(QStringLiteral("a.bin"), QByteArray(70000, 'a')));
        EXPECT_TRUE(scratch.write(QStringLiteral("b.bin"), "bee"));
        const CliRun run = runCli({QStringLiteral("pack"), QStringLiteral("--output"), path("20031220.fuf"),
                                   QStringLiteral("--file1"), path("a.bin"), QStringLiteral("--file3"),
                                   path("b.bin"), QStringLiteral("--comp"), QStringLiteral("12")});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return path("20031220.fuf");
    }

    CliRun keygen(QStringList extra) {
        extra.prepend(QStringLiteral("keygen"));
        extra << QStringLiteral("--public-key") << path("k.pub") << QStringLiteral("--secret-key")
              << path("k.key");
        return runCli(extra);
    }

    void trust(const QString& publicKeyFile) {
        const PublicKey key = *parsePublicKey(scratch.read(QFileInfo(publicKeyFile).fileName()));
        ASSERT_TRUE(SettingsStore::standard().write(kSettingsKey, kTrustedKeysValue,
                                                    QString::fromLatin1(key.base64())));
    }

    QJsonObject inspectJson(const QString& package, int expectedExit) {
        const CliRun run = runCli({QStringLiteral("inspect"), package, QStringLiteral("--json")});
        EXPECT_EQ(run.exitCode, expectedExit) << run.out.toStdString() << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).object().value(QStringLiteral("signed")).toObject();
    }

    ScratchFolder scratch;
};

TEST_F(SigningCommandsTest, KeygenWritesAPrivateSecretKeyAndRefusesToReplaceKeys) {
    const CliRun help = runCli({QStringLiteral("keygen"), QStringLiteral("--help")});
    EXPECT_TRUE(help.out.contains(QStringLiteral("--unencrypted"))) << help.out.toStdString();

    const CliRun made = keygen({QStringLiteral("--unencrypted")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    // Readable and writable by its owner, by nobody else.
    const QFileDevice::Permissions mode = QFileInfo(path("k.key")).permissions();
    EXPECT_TRUE(mode.testFlag(QFileDevice::ReadOwner));
    EXPECT_EQ(mode & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                      QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther),
              QFileDevice::Permissions());
    const Result<PublicKey> pub = parsePublicKey(scratch.read(QStringLiteral("k.pub")));
    ASSERT_TRUE(pub);
    EXPECT_TRUE(made.out.contains(pub->id.text()));
    EXPECT_FALSE(*secretKeyIsEncrypted(scratch.read(QStringLiteral("k.key"))));

    const QByteArray before = scratch.read(QStringLiteral("k.key"));
    const CliRun again = keygen({QStringLiteral("--unencrypted")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("--force"))) << again.err.toStdString();
    EXPECT_EQ(scratch.read(QStringLiteral("k.key")), before);
}

TEST_F(SigningCommandsTest, PackageSignedWithAnEncryptedKeyVerifiesWithMinisignAndInInspect) {
    ASSERT_TRUE(scratch.write(QStringLiteral("pass"), "open sesame\n"));
    const CliRun made = keygen({QStringLiteral("--passphrase-file"), path("pass"),
                                QStringLiteral("--passphrase-cost"), QStringLiteral("interactive")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_TRUE(*secretKeyIsEncrypted(scratch.read(QStringLiteral("k.key"))));
    const QString package = pack();

    ASSERT_TRUE(scratch.write(QStringLiteral("wrong"), "open barley\n"));
    const CliRun refused = runCli({QStringLiteral("sign"), package, QStringLiteral("--secret-key"),
                                   path("k.key"), QStringLiteral("--passphrase-file"), path("wrong")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("passphrase is wrong"))) << refused.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(package + QStringLiteral(".minisig")));

    const CliRun signedRun = runCli({QStringLiteral("sign"), package, QStringLiteral("--secret-key"),
                                     path("k.key"), QStringLiteral("--passphrase-file"), path("pass")});
    ASSERT_EQ(signedRun.exitCode, 0) << signedRun.err.toStdString();
    const test::ToolRun verified = runMinisign(scratch.path(), {"-V", "-p", "k.pub", "-m", "20031220.fuf"});
    EXPECT_EQ(verified.exitCode, 0) << verified.output.toStdString();

    // Not trusted yet: the key is shown, nothing is checked, and inspect still succeeds.
    QJsonObject status = inspectJson(package, 0);
    EXPECT_EQ(status.value(QStringLiteral("state")).toString(), QStringLiteral("untrusted"));
    const QString keyId = parsePublicKey(scratch.read(QStringLiteral("k.pub")))->id.text();
    EXPECT_EQ(status.value(QStringLiteral("key_id")).toString(), keyId);

    trust(path("k.pub"));
    status = inspectJson(package, 0);
    EXPECT_EQ(status.value(QStringLiteral("state")).toString(), QStringLiteral("valid"));
    EXPECT_EQ(status.value(QStringLiteral("file_records")).toInt(), 2);
    const CliRun text = runCli({QStringLiteral("inspect"), package});
    EXPECT_TRUE(text.out.contains(QStringLiteral("signed:    valid, key ") + keyId))
        << text.out.toStdString();

    // One byte of file data changed after signing.
    QByteArray bytes = scratch.read(QStringLiteral("20031220.fuf"));
    bytes[300] = static_cast<char>(bytes[300] ^ 0x20);
    ASSERT_TRUE(scratch.write(QStringLiteral("20031220.fuf"), bytes));
    status = inspectJson(package, 1);
    EXPECT_EQ(status.value(QStringLiteral("state")).toString(), QStringLiteral("invalid"));
    EXPECT_TRUE(status.value(QStringLiteral("reason")).toString().contains(QStringLiteral("do not match")));
}

TEST_F(SigningCommandsTest, MissingSignatureAndUnsoundPackage) {
    ASSERT_EQ(keygen({QStringLiteral("--unencrypted")}).exitCode, 0);
    const QString package = pack();
    EXPECT_EQ(inspectJson(package, 0).value(QStringLiteral("state")).toString(), QStringLiteral("missing"));

    ASSERT_TRUE(scratch.write(QStringLiteral("junk.fuf"), "not a package"));
    const CliRun refused =
        runCli({QStringLiteral("sign"), path("junk.fuf"), QStringLiteral("--secret-key"), path("k.key")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("not a sound package"))) << refused.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("junk.fuf.minisig")));
    EXPECT_EQ(runCli({QStringLiteral("sign"), package}).exitCode, 2);
}

TEST_F(SigningCommandsTest, ApplyTakesAPackageSignedByMinisignAndRefusesItOnceChanged) {
    ASSERT_EQ(runMinisign(scratch.path(), {"-G", "-W", "-p", "m.pub", "-s", "m.key"}).exitCode, 0);
    trust(path("m.pub"));
    const QString package = pack();
    ASSERT_EQ(runMinisign(scratch.path(), {"-S", "-W", "-s", "m.key", "-m", "20031220.fuf"}).exitCode, 0);
    const QStringList database{QStringLiteral("--dbms"), QStringLiteral("SQLite"),
                               QStringLiteral("--database"), path("game.db")};
    ASSERT_EQ(runCli(QStringList{QStringLiteral("init")} + database).exitCode, 0);

    // Changed after signing: refused, and the database holds nothing of it.
    QByteArray bytes = scratch.read(QStringLiteral("20031220.fuf"));
    bytes[bytes.size() - 1] = static_cast<char>(bytes[bytes.size() - 1] ^ 0x01);
    ASSERT_TRUE(scratch.write(QStringLiteral("changed.fuf"), bytes));
    ASSERT_TRUE(scratch.write(QStringLiteral("changed.fuf.minisig"),
                              scratch.read(QStringLiteral("20031220.fuf.minisig"))));
    CliRun run = runCli(QStringList{QStringLiteral("apply"), path("changed.fuf")} + database);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("was not applied"))) << run.err.toStdString();

    run = runCli(QStringList{QStringLiteral("apply"), package} + database);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString keyId = parsePublicKey(scratch.read(QStringLiteral("m.pub")))->id.text();
    EXPECT_TRUE(run.out.contains(QStringLiteral("signature of key %1 verified").arg(keyId)))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("stored 2 files of version 01 component 12")))
        << run.out.toStdString();
    // minisign wrote no file records: the operator hears that verifying clients will refuse the files.
    EXPECT_TRUE(run.err.contains(QStringLiteral("carries no file records"))) << run.err.toStdString();
}

} // namespace
} // namespace tarnlow
