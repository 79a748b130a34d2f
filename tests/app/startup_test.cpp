#include "app/application_globals.h"
#include "app/tarnlow_as.h"
#include "db/data_store.h"
#include "db/transaction.h"
#include "host/file_type_registration.h"
#include "host/library_search_list.h"
#include "host/object_library.h"
#include "host/settings_store.h"
#include "host/single_instance_lock.h"
#include "lang/language_globals.h"
#include "scripted_windows.h"
#include "support/message_box_recorder.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

const QString kLibraries = QStringLiteral(TARNLOW_TEST_LIBRARY_DIR);

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(scratch.file(QStringLiteral("bin")));
        QDir().mkpath(scratch.file(QStringLiteral("run")));
        // The tables start-up reads after the system-table check, empty.
        sql(QStringLiteral(
            "create table t_sys_menu (item_order numeric(5,2), item_index int, parent_index int, "
            "item_name char(50), lang_id char(20), object_name char(50), children char(1), "
            "open_parm char(20))"));
        sql(QStringLiteral("create table t_sys_config (conf_type varchar(10), conf_value varchar(255))"));
    }

    StartupHost host() const {
        StartupHost host;
        host.executablePath = scratch.file(QStringLiteral("bin/tarnlow_as"));
        host.moduleHandleAvailable = true;
        host.currentDirectory = scratch.path();
        host.lockDirectory = scratch.file(QStringLiteral("run"));
        host.dataHome = scratch.file(QStringLiteral("data"));
        return host;
    }

    // A host whose executable sits next to the test object libraries; library a is the default.
    StartupHost hostWithLibraries() const {
        StartupHost libraryHost = host();
        libraryHost.executablePath = kLibraries + QStringLiteral("/tarnlow_as");
        libraryHost.initialLibraries = QStringLiteral("libtarnlow_test_library_a.so");
        return libraryHost;
    }

    void sql(const QString& statement) {
        Transaction t;
        t.Database = databaseFile;
        ASSERT_GE(t.connect(), 0) << t.SQLErrText.toStdString();
        ASSERT_GE(t.executeImmediate(statement), 0) << t.SQLErrText.toStdString();
        t.disconnect();
    }

    void storeLibraries(const QString& libraries) {
        sql(QStringLiteral("insert into t_sys_config values ('LIB', '%1')").arg(libraries));
    }

    QString stored(const QString& key, const QString& name = QString()) const {
        QString value = QStringLiteral("<missing>");
        value = SettingsStore::standard().read(key, name).value_or(value);
        return value;
    }

    test::ScratchFolder scratch;
    test::MessageBoxRecorder messages;
    QString databaseFile = scratch.file(QStringLiteral("tarnlow.db"));
    test::ScriptedWindows windows{databaseFile};
};

} // namespace

TEST_F(Startup, ProgramFolderFromTheExecutableOrTheCurrentDirectory) {
    windows.loginResults = {0, 0, 0, 0};
    tarnlow_as app(host(), windows);
    app.open({});
    EXPECT_EQ(gs_path, scratch.file(QStringLiteral("bin/")));

    StartupHost windowsStyle = host();
    windowsStyle.executablePath = QStringLiteral("C:\\Prog\\Tool\\app.exe");
    tarnlow_as(windowsStyle, windows).open({});
    EXPECT_EQ(gs_path, QStringLiteral("C:\\Prog\\Tool\\"));

    for (const auto& [current, expected] : {std::pair{QStringLiteral("C:\\"), QStringLiteral("C:\\")},
                                            std::pair{QStringLiteral("/"), QStringLiteral("/")},
                                            std::pair{QStringLiteral("/work"), QStringLiteral("/work/")}}) {
        StartupHost noHandle = host();
        noHandle.moduleHandleAvailable = false;
        noHandle.currentDirectory = current;
        tarnlow_as(noHandle, windows).open({});
        EXPECT_EQ(gs_path, expected);
    }
}

TEST_F(Startup, MissingLanguageIsAFirstRunButAnEmptyOneIsNot) {
    windows.loginResults = {0, 0, 0};
    tarnlow_as(host(), windows).open({});
    EXPECT_EQ(gs_lang, QStringLiteral("English.flf"));

    EXPECT_TRUE(SettingsStore::standard().write(kSettingsKey, QStringLiteral("Lang"), QString()));
    tarnlow_as(host(), windows).open({});
    EXPECT_FALSE(gs_lang.isNull());
    EXPECT_TRUE(gs_lang.isEmpty());
    EXPECT_EQ(gs_font, QStringLiteral("Arial"));

    EXPECT_TRUE(
        SettingsStore::standard().write(kSettingsKey, QStringLiteral("Lang"), QStringLiteral("Chinese.flf")));
    tarnlow_as(host(), windows).open({});
    EXPECT_EQ(gs_lang, QStringLiteral("Chinese.flf"));
    EXPECT_EQ(windows.calls, QStringList({QStringLiteral("login(1)"), QStringLiteral("login(0)"),
                                          QStringLiteral("login(0)")}));
}

TEST_F(Startup, FileTypeEntriesAreRewrittenAtEveryStartEvenWhenTurnedAway) {
    SettingsStore settings = SettingsStore::standard();
    ASSERT_TRUE(registerFileTypeEntries(settings, QStringLiteral("/old/place/tarnlow_as")));
    SingleInstanceLock otherCopy(QStringLiteral("tarnlow_as"), host().lockDirectory);
    ASSERT_TRUE(*otherCopy.acquire());

    EXPECT_EQ(tarnlow_as(host(), windows).open({}), StartupResult::AnotherCopyRunning);
    const QString command = host().executablePath + QStringLiteral(" %1");
    EXPECT_EQ(stored(kFileTypeOpenCommandKey), command);
    EXPECT_EQ(stored(kFileTypeExtensionKey), QStringLiteral("FERNLAKE_UPDATE_FILE"));
    EXPECT_EQ(stored(kFileTypeClassKey), QStringLiteral("Fernlake Update File"));
    EXPECT_TRUE(QFileInfo::exists(scratch.file(QStringLiteral("data/applications/tarnlow_as.desktop"))));

    StartupHost moved = host();
    moved.executablePath = scratch.file(QStringLiteral("moved/tarnlow_as"));
    windows.loginResults = {0};
    otherCopy.release();
    tarnlow_as(moved, windows).open({});
    EXPECT_EQ(stored(kFileTypeOpenCommandKey), moved.executablePath + QStringLiteral(" %1"));
}

TEST_F(Startup, AnotherCopyGetsMessage10026WithTheTitleAndNothingElseRuns) {
    ASSERT_TRUE(scratch.write(
        QStringLiteral("bin/English.flf"),
        "[TEXT]\nAPP_NAME=Test Title\n[MESSAGE]\nTITLE=Notice\n10026=%% is already running.\n"));
    SingleInstanceLock otherCopy(QStringLiteral("tarnlow_as"), host().lockDirectory);
    ASSERT_TRUE(*otherCopy.acquire());

    EXPECT_EQ(tarnlow_as(host(), windows).open({}), StartupResult::AnotherCopyRunning);
    ASSERT_EQ(messages.requests().size(), 1);
    EXPECT_EQ(messages.requests().at(0).text, QStringLiteral("Test Title is already running."));
    EXPECT_TRUE(windows.calls.isEmpty());
    EXPECT_TRUE(otherCopy.isHeld());

    // Without a module handle there is no lock, so any number of copies may run.
    StartupHost noHandle = host();
    noHandle.moduleHandleAvailable = false;
    windows.loginResults = {0};
    EXPECT_EQ(tarnlow_as(noHandle, windows).open({}), StartupResult::LoginEnded);
}

TEST_F(Startup, LoginOtherThanOneOrNoResultEndsStartup) {
    for (const std::optional<int> result :
         {std::optional<int>(0), std::optional<int>(2), std::optional<int>(-1), std::optional<int>()}) {
        windows.calls.clear();
        windows.loginResults = {result};
        tarnlow_as app(host(), windows);
        EXPECT_EQ(app.open({}), StartupResult::LoginEnded);
        EXPECT_EQ(windows.calls, QStringList{QStringLiteral("login(1)")});
    }
    EXPECT_TRUE(messages.requests().isEmpty());
}

TEST_F(Startup, FullStartRunsEveryStepInOrderAndLoadsTheMenuList) {
    sql(QStringLiteral("insert into t_sys_menu values (2, 3, 1, 'b', 'B', 'UO_B', 'N', ''), "
                       "(1, 1, 0, 'root', 'R', '', 'Y', ''), (1, 2, 1, 'a', 'A', 'UO_A', 'N', '')"));
    QStringList order;
    tarnlow_as app(hostWithLibraries(), windows);
    app.setSystemTablesCheck([&](Transaction& sqlca, SettingsStore&) {
        order.append(windows.calls);
        EXPECT_TRUE(sqlca.isConnected());
        return true;
    });
    EXPECT_EQ(app.open({}), StartupResult::MainWindowOpened);
    EXPECT_EQ(order, QStringList{QStringLiteral("login(1)")});
    EXPECT_EQ(windows.calls,
              QStringList({QStringLiteral("login(1)"), QStringLiteral("ver"), QStringLiteral("main")}));
    EXPECT_EQ(QFileInfo(windows.mainProvider).fileName(), QStringLiteral("libtarnlow_test_library_a.so"));
    EXPECT_NE(gl_mutex, 0u);

    ASSERT_TRUE(gds_menu);
    ASSERT_EQ(gds_menu->rowCount(), 3);
    EXPECT_EQ(gds_menu->getItemString(1, QStringLiteral("item_name"))->trimmed(), QStringLiteral("root"));
    EXPECT_EQ(gds_menu->getItemString(2, QStringLiteral("item_name"))->trimmed(), QStringLiteral("a"));
    EXPECT_EQ(gds_menu->getItemString(3, QStringLiteral("object_name"))->trimmed(), QStringLiteral("UO_B"));
    app.destroy();
    EXPECT_FALSE(gds_menu);
}

TEST_F(Startup, AppliedPackageRestartsWithoutTheCommandLineAndRetakesTheLock) {
    QList<std::uint32_t> holds;
    QList<bool> heldElsewhere;
    windows.duringLogin = [&] {
        holds.append(gl_mutex);
        SingleInstanceLock probe(QStringLiteral("tarnlow_as"), host().lockDirectory);
        heldElsewhere.append(!*probe.acquire());
    };
    windows.updateResult = 1;
    EXPECT_TRUE(
        SettingsStore::standard().write(kSettingsKey, QStringLiteral("Lang"), QStringLiteral("English.flf")));
    {
        tarnlow_as app(host(), windows);
        // The restarted pass finds no main window library: that failure must not hide the restart.
        EXPECT_EQ(app.open(QStringLiteral("/tmp/a package.fuf")), StartupResult::MainWindowFailed);
        EXPECT_EQ(app.passes(), 2);
        EXPECT_EQ(windows.calls, QStringList({QStringLiteral("login(0)"),
                                              QStringLiteral("update(/tmp/a package.fuf,connected)"),
                                              QStringLiteral("closeAll"), QStringLiteral("login(0)"),
                                              QStringLiteral("ver"), QStringLiteral("main")}));
        ASSERT_EQ(holds.size(), 2);
        EXPECT_NE(holds.at(0), 0u);
        EXPECT_NE(holds.at(1), 0u);
        EXPECT_NE(holds.at(0), holds.at(1)) << "the lock was not released and taken again";
        EXPECT_EQ(heldElsewhere, QList<bool>({true, true}));
    }

    // Any other update result goes on without a restart.
    windows.calls.clear();
    windows.updateResult = std::nullopt;
    tarnlow_as other(host(), windows);
    other.open(QStringLiteral("p.fuf"));
    EXPECT_EQ(other.passes(), 1);
    EXPECT_EQ(windows.calls,
              QStringList({QStringLiteral("login(0)"), QStringLiteral("update(p.fuf,connected)"),
                           QStringLiteral("ver"), QStringLiteral("main")}));
}

TEST_F(Startup, UnusableSystemTablesEndStartup) {
    tarnlow_as app(hostWithLibraries(), windows);
    app.setSystemTablesCheck([](Transaction&, SettingsStore&) { return false; });
    EXPECT_EQ(app.open(QStringLiteral("p.fuf")), StartupResult::SystemTablesFailed);
    EXPECT_EQ(windows.calls, QStringList{QStringLiteral("login(1)")});
}

TEST_F(Startup, LibraryListArithmetic) {
    EXPECT_EQ(extendedLibraryList(QStringLiteral("app,x.so"), QStringLiteral("a.so,b.so")),
              QStringLiteral("x.so,a.so,b.so"));
    EXPECT_EQ(extendedLibraryList(QStringLiteral("app"), QStringLiteral("a.so,b.so")),
              QStringLiteral("app,a.so,b.so"));
}

TEST_F(Startup, DatabaseLibrariesJoinTheSearchList) {
    storeLibraries(QStringLiteral("libtarnlow_test_library_b.so"));
    tarnlow_as app(hostWithLibraries(), windows);
    EXPECT_EQ(app.open({}), StartupResult::MainWindowOpened);
    EXPECT_EQ(app.libraries()->list(),
              QStringLiteral("libtarnlow_test_library_a.so,libtarnlow_test_library_b.so"));
    EXPECT_TRUE(app.libraries()->provides(QStringLiteral("uo_b")));
    EXPECT_EQ(QFileInfo(windows.mainProvider).fileName(), QStringLiteral("libtarnlow_test_library_a.so"));

    // Without a module handle the database's libraries are not added.
    StartupHost noHandle = hostWithLibraries();
    noHandle.moduleHandleAvailable = false;
    tarnlow_as other(noHandle, windows);
    EXPECT_EQ(other.open({}), StartupResult::MainWindowOpened);
    EXPECT_FALSE(other.libraries()->provides(QStringLiteral("uo_b")));
}

TEST_F(Startup, NoLibraryRowKeepsTheListAndAnEmptyListHasNoMainWindow) {
    {
        tarnlow_as app(hostWithLibraries(), windows);
        EXPECT_EQ(app.open({}), StartupResult::MainWindowOpened);
        EXPECT_EQ(app.libraries()->list(),
                  kLibraries + QStringLiteral("/tarnlow_as,libtarnlow_test_library_a.so"));
    }

    windows.calls.clear();
    tarnlow_as bare(host(), windows);
    EXPECT_EQ(bare.open({}), StartupResult::MainWindowFailed);
    ASSERT_EQ(messages.requests().size(), 1);
    EXPECT_TRUE(messages.requests().at(0).text.contains(QStringLiteral("w_main")));
}

TEST_F(Startup, UnloadableLibraryShowsLoadLibraryErrorAndEnds) {
    storeLibraries(QStringLiteral("libtarnlow_test_library_b.so,missing.so"));
    tarnlow_as app(hostWithLibraries(), windows);
    EXPECT_EQ(app.open({}), StartupResult::LibraryListFailed);
    ASSERT_EQ(messages.requests().size(), 1);
    EXPECT_EQ(messages.requests().at(0).title, QStringLiteral("error"));
    EXPECT_EQ(messages.requests().at(0).text, QStringLiteral("load library error!"));
    EXPECT_FALSE(windows.calls.contains(QStringLiteral("main")));
}

TEST_F(Startup, ExecutableObjectsAreOnEverySearchList) {
    StartupHost own = hostWithLibraries();
    int created = 0;
    own.ownObjects.append({QStringLiteral("w_tool"), [&created](const ObjectContext& context) {
                               ++created;
                               return new QObject(context.parent);
                           }});
    storeLibraries(QStringLiteral("libtarnlow_test_library_b.so"));
    tarnlow_as app(own, windows);
    EXPECT_EQ(app.open({}), StartupResult::MainWindowOpened);
    // Still provided after the database's libraries replaced the list.
    EXPECT_TRUE(app.libraries()->provides(QStringLiteral("w_tool")));
    EXPECT_EQ(app.libraries()->providerOf(QStringLiteral("w_tool")), own.executablePath);
    std::unique_ptr<QObject> object(app.libraries()->createObject(QStringLiteral("w_tool"), {}));
    EXPECT_NE(object, nullptr);
    EXPECT_EQ(created, 1);
}

TEST_F(Startup, AnUnreadableLibraryRowOrMenuIsSaidAndStartupGoesOn) {
    // Without a module handle the program folder is the current directory, which here holds the
    // shipped English file, so that the boxes carry their texts; the query runs all the same.
    ASSERT_TRUE(
        QFile::copy(qEnvironmentVariable("TARNLOW_SOURCE_DIR") + QStringLiteral("/share/lang/English.flf"),
                    scratch.file(QStringLiteral("English.flf"))));
    sql(QStringLiteral("drop table t_sys_config"));
    sql(QStringLiteral("drop table t_sys_menu"));
    StartupHost noHandle = hostWithLibraries();
    noHandle.moduleHandleAvailable = false;
    tarnlow_as app(noHandle, windows);
    EXPECT_EQ(app.open({}), StartupResult::MainWindowOpened);
    EXPECT_EQ(windows.calls,
              QStringList({QStringLiteral("login(1)"), QStringLiteral("ver"), QStringLiteral("main")}));
    // First the menu, then the library row, each with the database's reason.
    ASSERT_EQ(messages.requests().size(), 2);
    EXPECT_TRUE(messages.requests().at(0).text.startsWith(QStringLiteral("The menu cannot be read")))
        << messages.requests().at(0).text.toStdString();
    EXPECT_TRUE(messages.requests().at(0).text.contains(QStringLiteral("t_sys_menu")))
        << messages.requests().at(0).text.toStdString();
    EXPECT_TRUE(messages.requests().at(1).text.startsWith(QStringLiteral("The list of object libraries")))
        << messages.requests().at(1).text.toStdString();
    EXPECT_TRUE(messages.requests().at(1).text.contains(QStringLiteral("t_sys_config")))
        << messages.requests().at(1).text.toStdString();
    EXPECT_EQ(messages.requests().at(1).title, QStringLiteral("Information"));
    // The tree is empty, not missing, and the list is the computer's own.
    ASSERT_TRUE(gds_menu);
    EXPECT_EQ(gds_menu->rowCount(), 0);
    EXPECT_EQ(app.libraries()->list(),
              kLibraries + QStringLiteral("/tarnlow_as,libtarnlow_test_library_a.so"));
}

TEST_F(Startup, AnEmptyLibraryRowOrMenuIsNoFailure) {
    tarnlow_as app(hostWithLibraries(), windows);
    EXPECT_EQ(app.open({}), StartupResult::MainWindowOpened);
    EXPECT_TRUE(messages.requests().isEmpty());
}

namespace {

QStringList g_warnings;

void recordWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg)
        g_warnings.append(text);
}

} // namespace

TEST_F(Startup, AFileTypeThatCannotBeRegisteredIsReportedAndStartupGoesOn) {
    // A plain file where the desktop entries' folder would have to be.
    ASSERT_TRUE(scratch.write(QStringLiteral("data"), "not a folder"));
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordWarning);
    StartupHost blocked = hostWithLibraries();
    blocked.dataHome = scratch.file(QStringLiteral("data"));
    const StartupResult result = tarnlow_as(blocked, windows).open({});
    qInstallMessageHandler(previous);
    EXPECT_EQ(result, StartupResult::MainWindowOpened);
    ASSERT_EQ(g_warnings.size(), 1) << g_warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(g_warnings.first().contains(QStringLiteral("cannot be registered")))
        << g_warnings.first().toStdString();
    EXPECT_TRUE(g_warnings.first().contains(scratch.file(QStringLiteral("data"))))
        << g_warnings.first().toStdString();
    // The settings entries were written all the same.
    EXPECT_EQ(stored(kFileTypeExtensionKey), QStringLiteral("FERNLAKE_UPDATE_FILE"));
}
