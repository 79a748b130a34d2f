// Signed packages on a real database: what the import refuses before anything runs, what it stores
// beside the files, and how a download checks every file against its signed record.

#include "import_fixture.h"

#include "db/dialect.h"
#include "host/settings_store.h"
#include "signing/file_signature.h"
#include "signing/signing_key.h"
#include "signing/trusted_keys.h"
#include "support/minisign_tool.h"
#include "support/test_environment.h"
#include "update/download_engine.h"
#include "update/import_engine.h"
#include "update/package_reader.h"
#include "update/package_signature.h"
#include "update/package_writer.h"
#include "update/signature_messages.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::Backend;
using test::patternBytes;
using test::ScratchFolder;

class SignedPackageTest : public test::VersionTableTest {
protected:
    void SetUp() override {
        test::VersionTableTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        pair = *generateKeyPair();
        trusted.keys = {pair.publicKey};
        ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("program")));
        folder = scratch.file(QStringLiteral("program")) + QLatin1Char('/');
    }

    // A package of three files (one larger than a piece) and a script that leaves a mark.
    QString writeTestPackage(const QString& name = QStringLiteral("p.fuf")) {
        PackageSource source;
        source.version = QStringLiteral("02");
        source.component = QStringLiteral("9");
        const QList<QByteArray> contents{patternBytes(100, 1), patternBytes(70000, 2), QByteArray("x")};
        for (int i = 0; i < contents.size(); ++i) {
            const QString file = QStringLiteral("f%1.dll").arg(i + 1);
            EXPECT_TRUE(scratch.write(file, contents.at(i)));
            source.files[static_cast<size_t>(i == 2 ? 3 : i)] = scratch.file(file);
        }
        source.sqlScript = QStringLiteral("CREATE TABLE script_mark ( x int )");
        const QString path = scratch.file(name);
        EXPECT_TRUE(writePackage(source, path, {}));
        return path;
    }

    void signWithPair(const QString& path) {
        ASSERT_TRUE(signPackage(*PackageReader::open(path), pair.secretKey));
    }

    ImportReport import(const QString& path, const TrustedKeys& keys) {
        return importPackage(sqlca, path, ImportObserver{}, keys);
    }

    bool tableExists(const QString& table) {
        const auto row = sqlca.selectInto(sqlca.dialect().tableExistsQuery(), {table.toLower()});
        return row && row->value(0).toLongLong() > 0;
    }

    // The database exactly as the import found it: no stored file, no script run, no records.
    void expectUntouched() {
        EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
        EXPECT_FALSE(tableExists(QStringLiteral("script_mark")));
        EXPECT_FALSE(tableExists(QStringLiteral("t_sys_ver_sign")));
    }

    void expectRefused(const ImportReport& report, const char* reasonPart) {
        EXPECT_EQ(report.result, ImportResult::Failed);
        ASSERT_TRUE(report.failure);
        EXPECT_EQ(report.failure->number, kMsgSignatureRefused);
        EXPECT_TRUE(report.failure->parameters.value(1).contains(QString::fromUtf8(reasonPart)))
            << report.failure->parameters.join(QStringLiteral(" | ")).toStdString();
        expectUntouched();
    }

    DownloadOutcome download(const TrustedKeys& keys) {
        SettingsStore settings = SettingsStore::standard();
        DownloadEngine engine(sqlca, settings, folder);
        engine.setTrustedKeys(keys);
        const auto rows = engine.pendingRows();
        EXPECT_TRUE(rows);
        return engine.download(*rows);
    }

    QByteArray programFile(const QString& name) const {
        QFile file(folder + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QString compId() const {
        return SettingsStore::standard()
            .read(kSettingsKey, kInstalledComponentName)
            .value_or(QStringLiteral("<absent>"));
    }

    void run(const QString& sql, const QVariantList& values = {}) {
        ASSERT_GE(sqlca.execute(sql, values), 0) << sqlca.SQLErrText.toStdString();
    }

    ScratchFolder scratch;
    KeyPair pair;
    TrustedKeys trusted;
    QString folder;
};

TEST_P(SignedPackageTest, RefusedBeforeAnythingRunsWhenTheSignatureIsMissingDamagedForeignOrStale) {
    const QString path = writeTestPackage();
    expectRefused(import(path, trusted), "has no signature");

    signWithPair(path);
    const QByteArray signature = scratch.read(QStringLiteral("p.fuf.minisig"));
    ASSERT_TRUE(scratch.write(QStringLiteral("p.fuf.minisig"), signature.left(signature.size() / 2)));
    expectRefused(import(path, trusted), "p.fuf.minisig");

    const KeyPair stranger = *generateKeyPair();
    ASSERT_TRUE(signPackage(*PackageReader::open(path), stranger.secretKey));
    expectRefused(import(path, trusted), "not among the trusted keys");

    signWithPair(path);
    QByteArray bytes = scratch.read(QStringLiteral("p.fuf"));
    bytes[256 + 5000] = static_cast<char>(bytes[256 + 5000] ^ 0x04);
    ASSERT_TRUE(scratch.write(QStringLiteral("p.fuf"), bytes));
    expectRefused(import(path, trusted), "do not match");
}

TEST_P(SignedPackageTest, SignedPackageStoresARecordPerFileThatVerifiesOnItsOwn) {
    const QString path = writeTestPackage();
    signWithPair(path);
    const ImportReport report = import(path, trusted);
    ASSERT_EQ(report.result, ImportResult::Stored)
        << (report.failure ? report.failure->parameters.join(QStringLiteral(" | ")).toStdString() : "");
    EXPECT_EQ(report.signedBy, pair.publicKey.id.text());
    EXPECT_FALSE(report.warning);
    EXPECT_TRUE(tableExists(QStringLiteral("script_mark")));

    const auto records = sqlca.selectAll(QStringLiteral(
        "SELECT update_index, file_name, file_size, key_id FROM t_sys_ver_sign ORDER BY update_index"));
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 3);
    EXPECT_EQ(records->at(1).at(1).toString().trimmed(), QStringLiteral("f2.dll"));
    EXPECT_EQ(records->at(1).at(2).toLongLong(), 70000);
    EXPECT_EQ(records->at(2).at(0).toInt(), 3);
    EXPECT_EQ(records->at(0).at(3).toString().trimmed(), pair.publicKey.id.text());

    // The clean download writes every file and advances Comp_ID.
    const DownloadOutcome outcome = download(trusted);
    ASSERT_EQ(outcome.result, 1)
        << (outcome.failure ? outcome.failure->parameters.join(QStringLiteral(" | ")).toStdString() : "");
    EXPECT_FALSE(outcome.notice);
    EXPECT_EQ(programFile(QStringLiteral("f2.dll")), patternBytes(70000, 2));
    EXPECT_EQ(programFile(QStringLiteral("f3.dll")), QByteArray("x"));
    EXPECT_EQ(compId(), QStringLiteral("9"));
}

TEST_P(SignedPackageTest, DownloadRefusesAChangedValueAMissingRecordAndAForeignRecord) {
    const QString path = writeTestPackage();
    signWithPair(path);
    ASSERT_EQ(import(path, trusted).result, ImportResult::Stored);
    ASSERT_TRUE(scratch.write(QStringLiteral("program/f1.dll"), "old one"));
    ASSERT_TRUE(scratch.write(QStringLiteral("program/f2.dll"), "old two"));

    const auto expectRefusedDownload = [&](const TrustedKeys& keys, const char* file,
                                           const char* reasonPart) {
        const DownloadOutcome outcome = download(keys);
        EXPECT_EQ(outcome.result, -1);
        ASSERT_TRUE(outcome.failure);
        EXPECT_EQ(outcome.failure->number, kMsgDownloadFileRefused);
        EXPECT_EQ(outcome.failure->parameters.value(0), QString::fromUtf8(file));
        EXPECT_TRUE(outcome.failure->parameters.value(4).contains(QString::fromUtf8(reasonPart)))
            << outcome.failure->parameters.join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(compId(), QStringLiteral("<absent>"));
        EXPECT_EQ(programFile(QStringLiteral("f2.dll")), QByteArray("old two"));
        // Nothing of a refused file is left next to it.
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
    };

    // One byte of the stored value changed after the import.
    QByteArray changed = patternBytes(70000, 2);
    changed[12345] = static_cast<char>(changed[12345] ^ 0x80);
    ASSERT_EQ(sqlca.updateBlob(QStringLiteral("UPDATE t_sys_ver SET file_blob = ? WHERE update_index = 2"),
                               changed),
              kSqlSuccess);
    expectRefusedDownload(trusted, "f2.dll", "bytes differ from its signed record");
    // Without trusted keys the present record still catches the damage.
    expectRefusedDownload(TrustedKeys{}, "f2.dll", "bytes differ from its signed record");
    ASSERT_EQ(sqlca.updateBlob(QStringLiteral("UPDATE t_sys_ver SET file_blob = ? WHERE update_index = 2"),
                               patternBytes(70000, 2)),
              kSqlSuccess);

    // The record removed.
    const auto saved = sqlca.selectInto(
        QStringLiteral("SELECT key_id, record_sign FROM t_sys_ver_sign WHERE update_index = 2"));
    ASSERT_TRUE(saved);
    run(QStringLiteral("DELETE FROM t_sys_ver_sign WHERE update_index = 2"));
    expectRefusedDownload(trusted, "f2.dll", "no signed record");

    // A record signed by another key, under that key's id and under ours.
    const KeyPair other = *generateKeyPair();
    FileRecord forged;
    forged.version = QStringLiteral("02");
    forged.component = 9;
    forged.updateIndex = 2;
    forged.name = QStringLiteral("f2.dll");
    forged.size = 70000;
    Sha256 hash;
    hash.add(patternBytes(70000, 2));
    forged.sha256 = hash.result();
    ASSERT_TRUE(signFileRecord(forged, other.secretKey));
    const QString insert =
        QStringLiteral("INSERT INTO t_sys_ver_sign VALUES ( '02' , 9 , 2 , 'f2.dll' , 70000 , ? , ? , ? )");
    run(insert, {QString::fromLatin1(forged.sha256.toHex()), other.publicKey.id.text(),
                 QString::fromLatin1(forged.signature.toBase64())});
    expectRefusedDownload(trusted, "f2.dll", "not among the trusted keys");
    run(QStringLiteral("DELETE FROM t_sys_ver_sign WHERE update_index = 2"));
    run(insert, {QString::fromLatin1(forged.sha256.toHex()), pair.publicKey.id.text(),
                 QString::fromLatin1(forged.signature.toBase64())});
    expectRefusedDownload(trusted, "f2.dll", "does not match");

    // The record put back: every file arrives.
    run(QStringLiteral("DELETE FROM t_sys_ver_sign WHERE update_index = 2"));
    run(insert, {QString::fromLatin1(forged.sha256.toHex()), saved->value(0).toString().trimmed(),
                 saved->value(1).toString().trimmed()});
    const DownloadOutcome outcome = download(trusted);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(programFile(QStringLiteral("f2.dll")), patternBytes(70000, 2));
    EXPECT_EQ(compId(), QStringLiteral("9"));
}

TEST_P(SignedPackageTest, WithoutTrustedKeysEverythingWorksAsBeforeAndSignedRecordsAreKept) {
    const QString unsignedPath = writeTestPackage(QStringLiteral("plain.fuf"));
    ASSERT_EQ(import(unsignedPath, TrustedKeys{}).result, ImportResult::Stored);
    EXPECT_FALSE(tableExists(QStringLiteral("t_sys_ver_sign")));
    DownloadOutcome outcome = download(TrustedKeys{});
    EXPECT_EQ(outcome.result, 1);
    ASSERT_TRUE(outcome.notice);
    EXPECT_EQ(outcome.notice->number, kMsgDownloadsNotVerified);
    // A signed package imported where no key is trusted still leaves its records for the clients
    // that trust its key.
    run(QStringLiteral("DELETE FROM t_sys_ver"));
    run(QStringLiteral("DROP TABLE script_mark"));

    const QString signedPath = writeTestPackage();
    signWithPair(signedPath);
    ASSERT_EQ(import(signedPath, TrustedKeys{}).result, ImportResult::Stored);
    EXPECT_EQ(sqlca.selectInto(QStringLiteral("SELECT count(*) FROM t_sys_ver_sign"))->value(0).toInt(), 3);
    ASSERT_TRUE(SettingsStore::standard().write(kSettingsKey, kInstalledComponentName, QStringLiteral("0")));
    outcome = download(trusted);
    EXPECT_EQ(outcome.result, 1);
}

// The bytes whose signature was checked are the bytes stored: a package put in the signed one's
// place while the import runs changes nothing of what is applied.
TEST_P(SignedPackageTest, APackageSwappedInDuringTheImportIsNotWhatGetsStored) {
    const QString path = writeTestPackage();
    signWithPair(path);
    ASSERT_TRUE(
        scratch.write(QStringLiteral("other.fuf"),
                      test::buildPackage("02", "009",
                                         {test::PackageFileSpec{"f1.dll", patternBytes(100, 7)},
                                          test::PackageFileSpec{"f2.dll", patternBytes(70000, 8)},
                                          std::nullopt, test::PackageFileSpec{"f3.dll", QByteArray("y")}},
                                         "CREATE TABLE swapped_mark ( x int )")));
    bool swapped = false;
    ImportObserver observer;
    observer.fileStarted = [&](const ImportFile&) {
        if (swapped)
            return;
        swapped = QFile::remove(path) && QFile::rename(scratch.file(QStringLiteral("other.fuf")), path);
    };
    const ImportReport report = importPackage(sqlca, path, observer, trusted);
    ASSERT_TRUE(swapped);
    EXPECT_EQ(report.result, ImportResult::Stored);
    const QList<test::StoredRow> rows = test::storedRows(sqlca);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.at(0).bytes, patternBytes(100, 1));
    EXPECT_EQ(rows.at(1).bytes, patternBytes(70000, 2));
    EXPECT_EQ(rows.at(2).bytes, QByteArray("x"));
    EXPECT_FALSE(tableExists(QStringLiteral("swapped_mark")));
    // No private copy stays behind.
    EXPECT_TRUE(QDir::temp().entryList({QStringLiteral("tarnlow_as-import-*")}, QDir::Files).isEmpty());
    // Every file verifies on a client that trusts the key.
    EXPECT_EQ(download(trusted).result, 1);
}

TEST_P(SignedPackageTest, PackageSignedByMinisignAloneIsAppliedWithAWarning) {
    ASSERT_EQ(test::runMinisign(scratch.path(), {"-G", "-W", "-p", "m.pub", "-s", "m.key"}).exitCode, 0);
    const QString path = writeTestPackage();
    ASSERT_EQ(test::runMinisign(scratch.path(), {"-S", "-W", "-s", "m.key", "-m", "p.fuf"}).exitCode, 0);
    TrustedKeys keys;
    keys.keys = {*parsePublicKey(scratch.read(QStringLiteral("m.pub")))};
    const ImportReport report = import(path, keys);
    ASSERT_EQ(report.result, ImportResult::Stored);
    EXPECT_EQ(report.signedBy, keys.keys.first().id.text());
    ASSERT_TRUE(report.warning);
    EXPECT_EQ(report.warning->number, kMsgPackageWithoutRecords);

    // Its files carry no record, so a client that trusts the key refuses them.
    const DownloadOutcome outcome = download(keys);
    EXPECT_EQ(outcome.result, -1);
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->number, kMsgDownloadFileRefused);
}

INSTANTIATE_TEST_SUITE_P(Backends, SignedPackageTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres, Backend::PgBouncer),
                         test::backendTestName);

} // namespace
} // namespace tarnlow
