#include "app/application_globals.h"
#include "app/system_tables_startup.h"
#include "app/tarnlow_as.h"
#include "db/data_store.h"
#include "db/transaction.h"
#include "host/file_type_registration.h"
#include "host/library_search_list.h"
#include "host/object_library.h"
#include "host/settings_store.h"
#include "host/single_instance_lock.h"
#include "lang/language_globals.h"
#include "schema/schema_bootstrap.h"
#include "scripted_windows.h"
#include "support/database_backends.h"
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

    // host() with the shipped English texts in its program folder, so that boxes carry their texts,
    // and test library a as its default library.
    StartupHost hostInEnglish() {
        EXPECT_TRUE(QFile::copy(qEnvironmentVariable("TARNLOW_SOURCE_DIR") +
                                    QStringLiteral("/share/lang/English.flf"),
                                scratch.file(QStringLiteral("bin/English.flf"))));
        StartupHost english = host();
        english.initialLibraries = kLibraries + QStringLiteral("/libtarnlow_test_library_a.so");
        return english;
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

// A damaged line costs only its own keys; the operator hears once, before the login, which line.
TEST_F(Startup, ADamagedLanguageFileIsReadLineByLineWithOneNotice) {
    ASSERT_TRUE(scratch.write(QStringLiteral("bin/English.flf"),
                              "[FLF]\nFONT=Sans Test\nNAME=Eng\xFFlish\n[MESSAGE]\nTITLE=Notice\n"
                              "10607=%% has damaged lines: %%\n"));
    windows.updateResult = 1;
    windows.loginResults = {1, 0};
    tarnlow_as app(host(), windows);
    EXPECT_EQ(app.open(QStringLiteral("p.fuf")), StartupResult::LoginEnded);
    EXPECT_EQ(app.passes(), 2);
    EXPECT_EQ(gs_font, QStringLiteral("Sans Test"));
    ASSERT_EQ(messages.requests().size(), 1);
    EXPECT_EQ(messages.requests().at(0).title, QStringLiteral("Notice"));
    EXPECT_EQ(messages.requests().at(0).text,
              scratch.file(QStringLiteral("bin/English.flf")) + QStringLiteral(" has damaged lines: 3"));
    EXPECT_EQ(windows.calls.first(), QStringLiteral("login(1)"));
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
        return SystemTablesVerdict{};
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
    app.setSystemTablesCheck([](Transaction&, SettingsStore&) { return SystemTablesVerdict{false, {}}; });
    EXPECT_EQ(app.open(QStringLiteral("p.fuf")), StartupResult::SystemTablesFailed);
    EXPECT_EQ(windows.calls, QStringList{QStringLiteral("login(1)")});
}

// Declining the question ends start-up with a message that says why and what to do, and changes
// nothing.
TEST_F(Startup, ADeclinedReinitialisationSaysWhyStartupEndsAndHowToGoOn) {
    const StartupHost english = hostInEnglish();
    sql(QStringLiteral("drop table t_sys_menu"));
    sql(QStringLiteral("drop table t_sys_config"));
    {
        Transaction sqlca;
        sqlca.Database = databaseFile;
        ASSERT_EQ(sqlca.connect(), kSqlSuccess);
        SettingsStore settings = SettingsStore::standard();
        ASSERT_EQ(ensureSystemTables(sqlca, settings, {}).state, SystemTablesState::Initialised);
    }
    sql(QStringLiteral("delete from t_sys_menu where item_index = 27"));

    tarnlow_as app(english, windows);
    app.setSystemTablesCheck(checkSystemTablesAtStartup);
    EXPECT_EQ(app.open({}), StartupResult::SystemTablesFailed);
    EXPECT_EQ(windows.calls, QStringList{QStringLiteral("login(1)")});
    ASSERT_EQ(messages.requests().size(), 2);
    EXPECT_EQ(messages.requests().at(0).defaultButton, 2);
    EXPECT_EQ(messages.requests().at(1).text,
              QStringLiteral("The system tables need to be created anew (the table T_SYS_MENU holds 23 rows, "
                             "fewer than the 24 default rows), but deleting the rows they hold (T_SYS_MENU: "
                             "23, T_SYS_CONFIG: 1) was declined, so the program ends here without changing "
                             "anything. To go on, back up these rows with the database's own tools, then "
                             "start the program again and answer Yes, or run tarnlow_as_cli init --force."));
    Transaction check;
    check.Database = databaseFile;
    ASSERT_EQ(check.connect(), kSqlSuccess);
    EXPECT_EQ(check.selectInto(QStringLiteral("select count(*) from t_sys_menu"))->value(0).toInt(), 23);
}

// A login that may use the tables but not read one of them starts all the same: one message names
// the table and the server's refusal, nothing is dropped or created, and what needs the table is
// skipped without a second message.
TEST_F(Startup, ARestrictedLoginGoesOnWithOneMessageAndDropsNothing) {
    const StartupHost english = hostInEnglish();
    for (const QString& hidden :
         {QStringLiteral("t_sys_menu"), QStringLiteral("t_sys_config"), QStringLiteral("t_sys_ver")}) {
        SCOPED_TRACE(hidden.toStdString());
        test::BackendDatabase database(test::Backend::Postgres);
        TARNLOW_REQUIRE_BACKEND(database);
        Transaction admin;
        database.configureAdministrator(admin);
        ASSERT_EQ(admin.connect(), kSqlSuccess) << admin.SQLErrText.toStdString();
        SettingsStore settings = SettingsStore::standard();
        ASSERT_EQ(ensureSystemTables(admin, settings, {}).state, SystemTablesState::Initialised);
        ASSERT_TRUE(database.grantAllBut(
            admin,
            {QStringLiteral("t_sys_menu"), QStringLiteral("t_sys_config"), QStringLiteral("t_sys_ver")},
            hidden));

        messages.clear();
        windows.calls.clear();
        windows.configureLogin = [&database](Transaction& sqlca) { database.configure(sqlca); };
        tarnlow_as app(english, windows);
        app.setSystemTablesCheck(checkSystemTablesAtStartup);
        EXPECT_EQ(app.open({}), StartupResult::MainWindowOpened);
        ASSERT_EQ(messages.requests().size(), 1);
        const QString text = messages.requests().at(0).text;
        EXPECT_TRUE(text.startsWith(
            QStringLiteral("The system table %1 cannot be read with this login: ").arg(hidden.toUpper())))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("permission denied"))) << text.toStdString();
        EXPECT_EQ(windows.calls.contains(QStringLiteral("ver")), hidden != QStringLiteral("t_sys_ver"));
        EXPECT_TRUE(windows.calls.contains(QStringLiteral("main")));
        EXPECT_EQ(admin.selectInto(QStringLiteral("select count(*) from t_sys_menu"))->value(0).toInt(),
                  kDefaultMenuRowCount);
        EXPECT_EQ(admin.selectInto(QStringLiteral("select count(*) from t_sys_config"))->value(0).toInt(), 1);
        app.destroy();
    }
}

TEST_F(Startup, LibraryListArithmetic) {
    EXPECT_EQ(extendedLibraryList(QStringLiteral("app,x.so"), QStringLiteral("a.so,b.so")),
              QStringLiteral("x.so,a.so,b.so"));
    EXPECT_EQ(extendedLibraryList(QStringLiteral("app"), QStringLiteral("a.so,b.so")),
              QStringLiteral("app,a.so,b.so"));
    EXPECT_EQ(withFallbackLibraries(QStringLiteral("app,a.so, m.so"), QStringLiteral("m.so,n.so")),
              QStringLiteral("app,a.so, m.so,n.so"));
    EXPECT_EQ(withFallbackLibraries(QStringLiteral("app"), QString()), QStringLiteral("app"));
}

// The database's libraries come before the program's default library, so that a site's own w_main
// (and w_about) win; a default library the row names itself is not listed twice.
TEST_F(Startup, DatabaseLibrariesJoinTheSearchListBeforeTheDefaultLibrary) {
    const QString executable = hostWithLibraries().executablePath;
    struct Case {
        const char* row;
        QString list;
        const char* mainProvider;
    };
    const QList<Case> cases{
        {"libtarnlow_test_library_b.so",
         executable + QStringLiteral(",libtarnlow_test_library_b.so,libtarnlow_test_library_a.so"),
         "libtarnlow_test_library_b.so"},
        {"libtarnlow_test_library_a.so, libtarnlow_test_library_b.so",
         executable + QStringLiteral(",libtarnlow_test_library_a.so, libtarnlow_test_library_b.so"),
         "libtarnlow_test_library_a.so"},
    };
    for (const Case& c : cases) {
        sql(QStringLiteral("delete from t_sys_config"));
        storeLibraries(QString::fromLatin1(c.row));
        tarnlow_as app(hostWithLibraries(), windows);
        EXPECT_EQ(app.open({}), StartupResult::MainWindowOpened) << c.row;
        EXPECT_EQ(app.libraries()->list(), c.list);
        EXPECT_TRUE(app.libraries()->provides(QStringLiteral("uo_b"))) << c.row;
        EXPECT_EQ(QFileInfo(windows.mainProvider).fileName(), QString::fromLatin1(c.mainProvider)) << c.row;
    }

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
