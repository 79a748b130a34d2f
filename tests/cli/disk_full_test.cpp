// Every file tarnlow_as_cli writes, written into a folder whose file system is full: a preloaded
// library makes writes there fail with ENOSPC after a number of bytes (also halfway through one
// write, and in copy_file_range), or makes the fsync or the close of a file written there fail.
// Each writer must exit 1 with the system's reason, leave its old file byte for byte, and leave no
// temporary file behind.

#include "host/settings_store.h"
#include "support/cli_process.h"
#include "support/database_backends.h"
#include "support/test_environment.h"
#include "tools/stock_database.h"
#include "update/download_database.h"
#include "update/download_engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tarnlow::test {
namespace {

// Where the full disk shows. With `midway` the limit is the writer's own count of bytes that fall
// in the middle of what it writes, so that one write is cut short and only the next one fails.
struct Fault {
    const char* where;
    bool midway;
};

const Fault kFaults[] = {{"write", false}, {"write", true}, {"fsync", false}, {"close", false}};

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Name);
}

// One case's folders: `full` is the full file system, `elsewhere` has room.
struct Place {
    QString full;
    QString elsewhere;
    QString registry;

    QProcessEnvironment environment() const { return environmentWithRegistry(registry); }
    QString compId() const {
        return SettingsStore(registry)
            .read(kSettingsKey, kInstalledComponentName)
            .value_or(QStringLiteral("<absent>"));
    }
};

// What a writer's run needs: its command, the files it would replace in the full folder (they hold
// old content beforehand), a phrase of its own message, and checks of what else must stay.
struct WriterRun {
    // The settings file the command uses; the place's own (where there is room) when empty.
    QString registry;
    QStringList arguments;
    QStringList replaced;
    QString message;
    std::function<void()> alsoUnchanged;
};

// One row per writer: its name, how many bytes fall in the middle of what it writes into the full
// folder, and how to prepare its run in a place.
struct Writer {
    const char* name;
    qint64 midway;
    std::function<WriterRun(const Place&)> prepare;
};

class DiskFullTest : public ::testing::Test {
protected:
    Place newPlace(const QString& name) {
        const QString root = scratch.file(name);
        EXPECT_TRUE(QDir().mkpath(root + QStringLiteral("/full")) &&
                    QDir().mkpath(root + QStringLiteral("/elsewhere")));
        Place place{QFileInfo(root + QStringLiteral("/full")).canonicalFilePath(),
                    QFileInfo(root + QStringLiteral("/elsewhere")).canonicalFilePath(),
                    {}};
        place.registry = place.elsewhere + QStringLiteral("/registry.ini");
        return place;
    }

    static CliRun runOnFullDisk(const Place& place, const QString& registry, const QStringList& arguments,
                                const char* where, qint64 bytes) {
        QProcessEnvironment environment =
            environmentWithRegistry(registry.isEmpty() ? place.registry : registry);
        environment.insert(QStringLiteral("LD_PRELOAD"),
                           QStringLiteral(TARNLOW_DISK_FULL_AFTER_BYTES_LIBRARY));
        environment.insert(QStringLiteral("TARNLOW_DISK_FULL_FOLDER"), place.full);
        environment.insert(QStringLiteral("TARNLOW_DISK_FULL_IN"), QString::fromLatin1(where));
        environment.insert(QStringLiteral("TARNLOW_DISK_FULL_AFTER_BYTES"), QString::number(bytes));
        return runCli(arguments, environment);
    }

    // A database of two stored files of component 3, the second written in many pieces.
    QStringList syncArguments(const QString& registry, const QString& folder) {
        if (!versions) {
            versions = std::make_unique<DownloadDatabase>(kDbmsSqlite, scratch);
            EXPECT_TRUE(versions->ready()) << versions->error().toStdString();
            versions->insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("a.dll"), QByteArray("first file"));
            versions->insert(QStringLiteral("1.0"), 3, 2, QStringLiteral("b.dll"), patternBytes(300000, 4));
        }
        EXPECT_TRUE(
            SettingsStore(registry).write(kSettingsKey, kInstalledComponentName, QStringLiteral("2")));
        return {QStringLiteral("sync"),
                QStringLiteral("--folder"),
                folder,
                QStringLiteral("--dbms"),
                kDbmsSqlite,
                QStringLiteral("--database"),
                scratch.file(QStringLiteral("download.db"))};
    }

    QString packed(const Place& place, const QString& name) {
        const QString content = place.elsewhere + QStringLiteral("/content.dll");
        EXPECT_TRUE(writeFile(content, patternBytes(200000, 9)));
        const QString output = place.elsewhere + QLatin1Char('/') + name;
        const CliRun made =
            runCli({QStringLiteral("pack"), QStringLiteral("--output"), output, QStringLiteral("--ver"),
                    QStringLiteral("01"), QStringLiteral("--comp"), QStringLiteral("4"),
                    QStringLiteral("--file1"), content, QStringLiteral("--force")},
                   place.environment());
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return output;
    }

    QString unencryptedKey(const Place& place) {
        const QString secret = place.elsewhere + QStringLiteral("/signing.key");
        const CliRun made =
            runCli({QStringLiteral("keygen"), QStringLiteral("--unencrypted"), QStringLiteral("--public-key"),
                    place.elsewhere + QStringLiteral("/signing.pub"), QStringLiteral("--secret-key"), secret},
                   place.environment());
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return secret;
    }

    ScratchFolder scratch;
    std::unique_ptr<DownloadDatabase> versions;
};

TEST_F(DiskFullTest, EveryWriterKeepsItsOldFileAndGivesTheSystemsReason) {
    const Writer writers[] = {
        {"settings", 40,
         [](const Place& place) {
             const QString registry = place.full + QStringLiteral("/registry.ini");
             EXPECT_TRUE(SettingsStore(registry).writeValues(
                 kSettingsKey, {{QStringLiteral("login"), QStringLiteral("operator")},
                                {kInstalledComponentName, QStringLiteral("2")}}));
             return WriterRun{registry,
                              {QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("Lang"),
                               QStringLiteral("Chinese")},
                              {registry},
                              QStringLiteral("cannot be written"),
                              {}};
         }},
        // Comp_ID recorded into a settings file on the full disk, the files themselves elsewhere.
        {"sync Comp_ID", 40,
         [this](const Place& place) {
             const QString registry = place.full + QStringLiteral("/registry.ini");
             return WriterRun{registry,
                              syncArguments(registry, place.elsewhere),
                              {registry},
                              QStringLiteral("cannot be recorded in the settings file"),
                              [registry] {
                                  EXPECT_EQ(
                                      SettingsStore(registry).read(kSettingsKey, kInstalledComponentName),
                                      QStringLiteral("2"));
                              }};
         }},
        // a.dll, written first, may be replaced when the disk fills later; b.dll never is.
        {"sync file", 150000,
         [this](const Place& place) {
             EXPECT_TRUE(writeFile(place.full + QStringLiteral("/a.dll"), "old a") &&
                         writeFile(place.full + QStringLiteral("/b.dll"), "old b"));
             return WriterRun{{},
                              syncArguments(place.registry, place.full),
                              {place.full + QStringLiteral("/b.dll")},
                              QStringLiteral("The old file is unchanged"),
                              [place] { EXPECT_EQ(place.compId(), QStringLiteral("2")); }};
         }},
        // Most of a package is copied inside the kernel (copy_file_range).
        {"pack", 100000,
         [](const Place& place) {
             const QString content = place.elsewhere + QStringLiteral("/content.dll");
             EXPECT_TRUE(writeFile(content, patternBytes(200000, 9)));
             const QString output = place.full + QStringLiteral("/out.fuf");
             EXPECT_TRUE(writeFile(output, "old package"));
             return WriterRun{{},
                              {QStringLiteral("pack"), QStringLiteral("--output"), output,
                               QStringLiteral("--ver"), QStringLiteral("01"), QStringLiteral("--comp"),
                               QStringLiteral("4"), QStringLiteral("--file1"), content,
                               QStringLiteral("--force")},
                              {output},
                              QStringLiteral("Any earlier file of that name is unchanged"),
                              {}};
         }},
        {"sign", 100,
         [this](const Place& place) {
             const QString package = place.full + QStringLiteral("/signed.fuf");
             QFile::rename(packed(place, QStringLiteral("signed.fuf")), package);
             EXPECT_TRUE(writeFile(package + QStringLiteral(".minisig"), "old signature"));
             return WriterRun{
                 {},
                 {QStringLiteral("sign"), package, QStringLiteral("--secret-key"), unencryptedKey(place)},
                 {package + QStringLiteral(".minisig"), package},
                 QStringLiteral("cannot be written"),
                 {}};
         }},
        {"keygen", 50,
         [](const Place& place) {
             const QString publicKey = place.full + QStringLiteral("/new.pub");
             const QString secretKey = place.full + QStringLiteral("/new.key");
             EXPECT_TRUE(writeFile(publicKey, "old public key") && writeFile(secretKey, "old secret key"));
             return WriterRun{{},
                              {QStringLiteral("keygen"), QStringLiteral("--unencrypted"),
                               QStringLiteral("--force"), QStringLiteral("--public-key"), publicKey,
                               QStringLiteral("--secret-key"), secretKey},
                              {publicKey, secretKey},
                              QStringLiteral("cannot be written"),
                              {}};
         }},
    };

    int caseNumber = 0;
    for (const Writer& writer : writers) {
        for (const Fault& fault : kFaults) {
            SCOPED_TRACE(std::string(writer.name) + ", full in " + fault.where +
                         (fault.midway ? " midway" : ""));
            const Place place = newPlace(QStringLiteral("case%1").arg(++caseNumber));
            const WriterRun prepared = writer.prepare(place);
            QList<QByteArray> before;
            for (const QString& path : prepared.replaced)
                before.append(readFile(path));
            const QStringList entriesBefore = entries(place.full);

            const CliRun result = runOnFullDisk(place, prepared.registry, prepared.arguments, fault.where,
                                                fault.midway ? writer.midway : 0);
            EXPECT_EQ(result.exitCode, 1) << result.out.toStdString() << result.err.toStdString();
            EXPECT_TRUE(result.err.contains(QStringLiteral("No space left on device")))
                << result.err.toStdString();
            EXPECT_TRUE(result.err.contains(prepared.message)) << result.err.toStdString();
            for (qsizetype i = 0; i < prepared.replaced.size(); ++i)
                EXPECT_EQ(readFile(prepared.replaced.at(i)), before.at(i))
                    << prepared.replaced.at(i).toStdString();
            EXPECT_EQ(entries(place.full), entriesBefore);
            if (prepared.alsoUnchanged)
                prepared.alsoUnchanged();
        }
    }
}

// The failed-rows list of stock-update, on an SQLite file reached through unixODBC.
TEST_F(DiskFullTest, FailedRowsListKeepsItsOldFile) {
    TARNLOW_REQUIRE_ODBC_DRIVERS();
    BackendDatabase database(Backend::OdbcSqlite);
    TARNLOW_REQUIRE_BACKEND(database);
    Transaction sqlca;
    database.configure(sqlca);
    ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    int caseNumber = 0;
    for (const Fault& fault : kFaults) {
        SCOPED_TRACE(std::string("full in ") + fault.where + (fault.midway ? " midway" : ""));
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("DROP TABLE IF EXISTS strivmst")), kSqlSuccess);
        ASSERT_EQ(createStockTable(sqlca), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        const Place place = newPlace(QStringLiteral("rows%1").arg(++caseNumber));
        const QString stock = place.elsewhere + QStringLiteral("/stock.csv");
        ASSERT_TRUE(writeFile(stock, kStockFile));
        const QString failed = place.full + QStringLiteral("/failed.csv");
        ASSERT_TRUE(writeFile(failed, "old list"));
        const CliRun result =
            runOnFullDisk(place, {},
                          {QStringLiteral("stock-update"), stock, QStringLiteral("--connect-string"),
                           odbcConnectString(database), QStringLiteral("--failed"), failed},
                          fault.where, fault.midway ? 20 : 0);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.err.contains(QStringLiteral("No space left on device")))
            << result.err.toStdString();
        EXPECT_EQ(readFile(failed), QByteArray("old list"));
        EXPECT_EQ(entries(place.full), QStringList{QStringLiteral("failed.csv")});
    }
}

} // namespace
} // namespace tarnlow::test
