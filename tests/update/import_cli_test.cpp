#include "import_fixture.h"

#include "support/cli_process.h"

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::PackageFileSpec;

using test::CliRun;
using test::runCli;

TEST(ImportCommandLine, AppliesReportsDuplicatesAndRefusesBadPackages) {
    test::BackendDatabase database(test::Backend::Sqlite);
    {
        Transaction sqlca;
        database.configure(sqlca);
        ASSERT_EQ(sqlca.connect(), kSqlSuccess);
        ASSERT_EQ(test::createVersionTable(sqlca, database.binaryType()), kSqlSuccess);
    }
    const QStringList connection{QStringLiteral("--dbms"), QStringLiteral("SQLite"),
                                 QStringLiteral("--database"), database.databaseName()};
    const test::ScratchFolder& scratch = database.scratch();
    ASSERT_TRUE(scratch.write(
        QStringLiteral("p.fuf"),
        test::buildPackage("01", "012",
                           {std::nullopt, PackageFileSpec{"tool.exe", test::patternBytes(700, 1)},
                            std::nullopt, PackageFileSpec{"read me.txt", "hello"}})));
    const QString package = scratch.file(QStringLiteral("p.fuf"));

    const CliRun stored = runCli(QStringList{QStringLiteral("apply"), package} + connection);
    EXPECT_EQ(stored.exitCode, 0) << stored.err.toStdString();
    EXPECT_EQ(stored.out, QStringLiteral("stored 01.12 tool.exe (700 bytes) as update index 1\n"
                                         "stored 01.12 read me.txt (5 bytes) as update index 2\n"
                                         "stored 2 files of version 01 component 12\n"));

    const CliRun again = runCli(QStringList{QStringLiteral("apply")} + connection + QStringList{package});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(
        again.out,
        QStringLiteral("version 01 component 12 is already stored: its files were already there; nothing "
                       "changed\n"));

    // A stored package's script runs again at every opening, and the output says so.
    ASSERT_TRUE(scratch.write(
        QStringLiteral("scripted.fuf"),
        test::buildPackage("02", "013",
                           {PackageFileSpec{"a.txt", "a"}, std::nullopt, std::nullopt, std::nullopt},
                           "update t_sys_ver set file_name = file_name where 1 = 0")));
    const QStringList scripted =
        QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("scripted.fuf"))};
    ASSERT_EQ(runCli(scripted + connection).exitCode, 0);
    const CliRun rerun = runCli(scripted + connection);
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err.toStdString();
    EXPECT_EQ(rerun.out,
              QStringLiteral("version 02 component 13 is already stored: its SQL script ran again; its "
                             "files were already there\n"));

    ASSERT_TRUE(scratch.write(QStringLiteral("bad.fuf"), QByteArray(300, 'x')));
    const CliRun bad =
        runCli(QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("bad.fuf"))} + connection);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains(scratch.file(QStringLiteral("bad.fuf")))) << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains(QStringLiteral("0x0E"))) << bad.err.toStdString();

    EXPECT_EQ(runCli(QStringList{QStringLiteral("apply")} + connection).exitCode, 2);
    EXPECT_EQ(runCli(QStringList{QStringLiteral("apply"), package, package} + connection).exitCode, 2);

    Transaction sqlca;
    database.configure(sqlca);
    ASSERT_EQ(sqlca.connect(), kSqlSuccess);
    // The two files of the first package and the one of the scripted package.
    EXPECT_EQ(test::storedRows(sqlca).size(), 3);
}

} // namespace
} // namespace tarnlow
