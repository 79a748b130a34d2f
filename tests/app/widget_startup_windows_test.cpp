#include "app/application_globals.h"
#include "app/system_tables_startup.h"
#include "app/tarnlow_as.h"
#include "app/widget_startup_windows.h"
#include "db/data_store.h"
#include "db/transaction.h"
#include "host/library_search_list.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "menus/d_menu.h"
#include "menus/library_window.h"
#include "schema/schema_bootstrap.h"
#include "support/message_box_recorder.h"
#include "support/test_environment.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

QString executable() {
    return test::binaryDirectory() + QStringLiteral("/tarnlow_as");
}

// Makes a scratch folder with the shipped language files the program folder, English the
// language, for as long as it lives.
class ProgramFolderLanguages {
public:
    explicit ProgramFolderLanguages(const test::ScratchFolder& scratch)
        : m_path(gs_path)
        , m_lang(gs_lang)
        , m_font(gs_font) {
        for (const QString& name : {QStringLiteral("English.flf"), QStringLiteral("Chinese.flf")})
            EXPECT_TRUE(QFile::copy(test::binaryDirectory() + QLatin1Char('/') + name, scratch.file(name)))
                << name.toStdString();
        gs_path = scratch.path() + QLatin1Char('/');
        gs_lang = QStringLiteral("English.flf");
    }
    ~ProgramFolderLanguages() {
        gs_path = m_path;
        gs_lang = m_lang;
        gs_font = m_font;
    }
    ProgramFolderLanguages(const ProgramFolderLanguages&) = delete;
    ProgramFolderLanguages& operator=(const ProgramFolderLanguages&) = delete;

private:
    QString m_path, m_lang, m_font;
};

} // namespace

TEST(WidgetStartupWindows, MainWindowComesFromTheDefaultLibraryAndRestartClosesIt) {
    test::ScratchFolder scratch;
    const ProgramFolderLanguages languages(scratch);
    Transaction sqlca;
    sqlca.Database = scratch.file(QStringLiteral("menu.db"));
    ASSERT_GE(sqlca.connect(), 0) << sqlca.SQLErrText.toStdString();
    ASSERT_GE(sqlca.executeImmediate(QStringLiteral(
                  "create table t_sys_menu (item_order numeric(5,2), item_index int, parent_index int, "
                  "item_name char(50), lang_id char(20), object_name char(50), children char(1))")),
              0);
    ASSERT_GE(
        sqlca.executeImmediate(QStringLiteral("insert into t_sys_menu values (1, 1, 0, 'Root', '', '', 'Y'), "
                                              "(1, 2, 1, 'Leaf', '', 'UO_X', 'N')")),
        0);
    gds_menu = std::make_unique<DataStore>(d_menu());
    gds_menu->setTransaction(&sqlca);
    ASSERT_EQ(gds_menu->retrieve().value(), 2);

    LibrarySearchList libraries(executable(), test::binaryDirectory() + QLatin1Char('/'));
    const Result<void> set = libraries.setList(executable() + QStringLiteral(",libtarnlow_main.so"));
    ASSERT_TRUE(set) << set.error().toStdString();

    WidgetStartupWindows windows;
    const Result<void> opened = windows.openMain(libraries, sqlca);
    ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
    QPointer<QWidget> main = windows.mainWindow();
    ASSERT_TRUE(main);
    EXPECT_EQ(main->objectName(), QStringLiteral("w_main"));
    EXPECT_TRUE(main->isVisible());
    auto* tree = main->findChild<QTreeWidget*>(QStringLiteral("tv_1"));
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Root"));
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Leaf"));

    // A language item reaches the window's wf_change_lang: the window is re-texted at once and the
    // choice is kept.
    auto* mainWindow = qobject_cast<QMainWindow*>(main.data());
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Tarnlow Private Server Assistant"));
    auto* languageMenu = main->findChild<QMenu*>(QStringLiteral("m_lang"));
    ASSERT_NE(languageMenu, nullptr);
    QAction* chinese = nullptr;
    for (QAction* action : languageMenu->actions()) {
        if (action->text() == QStringLiteral("简体中文"))
            chinese = action;
    }
    ASSERT_NE(chinese, nullptr);
    chinese->trigger();
    EXPECT_EQ(gs_lang, QStringLiteral("Chinese.flf"));
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Tarnlow私服辅助程序"));
    EXPECT_TRUE(chinese->isChecked());
    EXPECT_EQ(SettingsStore::standard().read(kSettingsKey, QStringLiteral("Lang")),
              QStringLiteral("Chinese.flf"));

    // The Help menu's last item opens w_about from the library list.
    auto* help = mainWindow->menuBar()->findChild<QMenu*>(QStringLiteral("m_help"));
    ASSERT_NE(help, nullptr);
    help->actions().constLast()->trigger();
    auto* about = main->findChild<QDialog*>(QStringLiteral("w_about"));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());

    windows.closeAll();
    EXPECT_FALSE(main) << "the main window outlived the restart";
    gds_menu.reset();
}

TEST(WidgetStartupWindows, MissingMainWindowIsAnErrorNotACrash) {
    LibrarySearchList libraries(executable(), test::binaryDirectory() + QLatin1Char('/'));
    Transaction sqlca;
    WidgetStartupWindows windows;
    const Result<void> opened = windows.openMain(libraries, sqlca);
    ASSERT_FALSE(opened.ok());
    EXPECT_TRUE(opened.error().contains(QStringLiteral("w_main")));
    EXPECT_FALSE(windows.openLogin(sqlca, 1).has_value());
}

// The real start-up with a site library in the LIB row: the site's w_main is the window that
// opens, named w_main so that the language items reach it, and the site's w_about is the one the
// Help menu opens; the program's default library is still searched, after it.
TEST(WidgetStartupWindows, ALibraryOfTheLibRowProvidesTheMainWindowThatOpens) {
    test::ScratchFolder scratch;
    test::MessageBoxRecorder messages;
    const QString databaseFile = scratch.file(QStringLiteral("site.db"));
    {
        Transaction sqlca;
        sqlca.Database = databaseFile;
        ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        SettingsStore settings = SettingsStore::standard();
        ASSERT_EQ(ensureSystemTables(sqlca, settings, {}).state, SystemTablesState::Initialised);
        ASSERT_EQ(sqlca.execute(QStringLiteral("insert into t_sys_config values ('LIB', ?, NULL)"),
                                {QStringLiteral("libtarnlow_test_library_b.so")}),
                  kSqlSuccess);
    }
    WidgetStartupWindows windows;
    windows.login = [&databaseFile](Transaction& sqlca, int) -> std::optional<int> {
        sqlca.Database = databaseFile;
        return sqlca.connect() == kSqlSuccess ? 1 : 0;
    };
    StartupHost host;
    host.executablePath = QStringLiteral(TARNLOW_TEST_LIBRARY_DIR "/tarnlow_as");
    host.lockDirectory = scratch.path();
    host.initialLibraries = test::binaryDirectory() + QStringLiteral("/libtarnlow_main.so");
    tarnlow_as app(host, windows);
    app.setSystemTablesCheck(checkSystemTablesAtStartup);
    ASSERT_EQ(app.open({}), StartupResult::MainWindowOpened);

    QPointer<QWidget> main = windows.mainWindow();
    ASSERT_TRUE(main);
    EXPECT_EQ(main->property("tarnlow_test_origin").toString(), QStringLiteral("b:w_main"));
    EXPECT_EQ(main->objectName(), QStringLiteral("w_main"));
    EXPECT_EQ(findMainWindow(), main.data());
    EXPECT_EQ(QFileInfo(app.libraries()->providerOf(QStringLiteral("w_about"))).fileName(),
              QStringLiteral("libtarnlow_test_library_b.so"));
    EXPECT_TRUE(app.libraries()->provides(QStringLiteral("UO_ISQL")));
    EXPECT_TRUE(messages.requests().isEmpty());
    windows.closeAll();
    EXPECT_FALSE(main);
    app.destroy();
}
