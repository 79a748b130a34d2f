// Opens one window of the program the way the program opens it, fills it with what a picture of it
// should show, and saves that picture. scripts/screenshots runs it under a virtual X display, once
// per window and language; it is built beside the tests and never installed.
//
//   tarnlow_screenshot_windows WINDOW LANGUAGE_FILE SCRATCH_FOLDER OUTPUT.png
//
// WINDOW is one of the names in kWindows below. The settings go where $TARNLOW_AS_REGISTRY points
// (the script points it into the scratch folder), the databases into the scratch folder.

#include "app/application_globals.h"
#include "app/system_tables_startup.h"
#include "app/tarnlow_as.h"
#include "app/widget_startup_windows.h"
#include "db/transaction.h"
#include "host/message_box.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "lang/language_lookup.h"
#include "login/login_settings.h"
#include "login/w_login.h"
#include "schema/schema_bootstrap.h"
#include "tools/w_test.h"
#include "update/download_engine.h"
#include "update/w_temp.h"
#include "update/w_ver.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cstdio>
#include <functional>
#include <map>

using namespace tarnlow;

namespace {

struct Shot {
    QString scratch; // a folder of its own for settings and databases
    QString output;  // the PNG to write
};

// Lets the window lay itself out and paint, then saves it.
bool save(QWidget& window, const QString& output) {
    window.show();
    window.raise();
    QEventLoop settle;
    QTimer::singleShot(400, &settle, &QEventLoop::quit);
    settle.exec();
    return window.grab().save(output);
}

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

// An SQLite database with the system tables, as after the first start.
QString initialisedDatabase(const Shot& shot) {
    const QString file = shot.scratch + QStringLiteral("/screens.db");
    Transaction sqlca;
    sqlca.Database = file;
    if (sqlca.connect() < 0)
        return QString();
    SettingsStore settings = SettingsStore::standard();
    ensureSystemTables(sqlca, settings, {});
    return file;
}

int login(const Shot& shot, const QString& dbms) {
    SettingsStore settings = SettingsStore::standard();
    QList<QPair<QString, QString>> values{{setting::kDbms, dbms}};
    if (dbms != kDbmsSqlite)
        values += {{setting::kServerIp, QStringLiteral("db.example.net:5432")},
                   {setting::kDatabase, QStringLiteral("game")},
                   {setting::kLogin, QStringLiteral("gm")}};
    if (!settings.writeValues(kSettingsKey, values))
        return 1;
    Transaction sqlca;
    w_login window(sqlca);
    window.openWindow(1);
    return save(window, shot.output) ? 0 : 1;
}

// The real start-up with the default object library, up to the main window; with `open`, the work
// item of that work object is opened too.
int mainWindow(const Shot& shot, const QString& open) {
    const QString database = initialisedDatabase(shot);
    WidgetStartupWindows windows;
    windows.login = [database](Transaction& sqlca, int) -> std::optional<int> {
        sqlca.Database = database;
        return sqlca.connect() < 0 ? std::optional<int>() : std::optional<int>(1);
    };
    StartupHost host;
    host.executablePath = programFolder() + QStringLiteral("/tarnlow_as");
    host.lockDirectory = shot.scratch;
    host.initialLibraries = QStringLiteral("libtarnlow_main.so");
    tarnlow_as app(host, windows);
    app.setSystemTablesCheck(checkSystemTablesAtStartup);
    if (app.open({}) != StartupResult::MainWindowOpened || windows.mainWindow() == nullptr)
        return 1;
    QWidget& main = *windows.mainWindow();
    if (!open.isEmpty()) {
        auto* tree = main.findChild<QTreeWidget*>();
        const QString caption = lookup(QStringLiteral("TREE"), open, QString());
        for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
            if ((*it)->text(0) == caption)
                Q_EMIT tree->itemActivated(*it, 0);
        }
    }
    const int result = save(main, shot.output) ? 0 : 1;
    windows.closeAll();
    app.destroy();
    return result;
}

int builder(const Shot& shot) {
    w_temp window;
    window.sle_1->setText(QStringLiteral("/srv/tarnlow/client/tarnlow_client.exe"));
    window.sle_2->setText(QStringLiteral("/srv/tarnlow/client/maps.pak"));
    window.mle_1->setPlainText(
        QStringLiteral("UPDATE t_sys_config SET conf_value = 'N' WHERE conf_type = 'FR'\n"));
    return save(window, shot.output) ? 0 : 1;
}

int odbc(const Shot& shot) {
    TestWindowOptions options;
    options.connectOnOpen = false;
    w_test window(options);
    return save(window, shot.output) ? 0 : 1;
}

// The version check of a program folder with a long path, caught halfway through its download.
int versionCheck(const Shot& shot) {
    const QString database = initialisedDatabase(shot);
    Transaction sqlca;
    sqlca.Database = database;
    if (sqlca.connect() < 0)
        return 1;
    const QByteArray bytes(4 * 1024 * 1024, 'x');
    for (int index = 1; index <= 3; ++index) {
        sqlca.updateBlob(QStringLiteral("INSERT INTO t_sys_ver (file_blob, ver_no, comp_no, update_index, "
                                        "file_name) VALUES (?, ?, ?, ?, ?)"),
                         bytes,
                         {QStringLiteral("2.10"), 7, index,
                          QStringLiteral("tarnlow_client_resources_part_%1_of_3.pak").arg(index)});
    }
    const QString folder = shot.scratch + QStringLiteral("/Program Files/Tarnlow Private Server Assistant/"
                                                         "clients/release-2026-12/bin/");
    QDir().mkpath(folder);
    SettingsStore settings = SettingsStore::standard();
    w_ver window(sqlca, settings, folder);
    bool saved = false;
    window.setProgressObserver([&](const DownloadProgress& progress) {
        if (!saved && progress.fraction >= 0.5) {
            saved = true;
            window.repaint();
            window.grab().save(shot.output);
        }
    });
    window.runVersionCheck();
    return saved ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 5) {
        std::fputs("usage: tarnlow_screenshot_windows WINDOW LANGUAGE_FILE SCRATCH_FOLDER OUTPUT.png\n",
                   stderr);
        return 2;
    }
    // Message boxes are answered with their default button and printed, never shown.
    setMessageBoxHandler([](const MessageBoxRequest& request) {
        std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
        return request.defaultButton;
    });
    gs_path = programFolder() + QLatin1Char('/');
    gs_lang = QString::fromLocal8Bit(argv[2]);
    gs_font = lookup(QStringLiteral("FLF"), QStringLiteral("FONT"), QStringLiteral("Arial"));
    const Shot shot{QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4])};
    const std::map<QString, std::function<int(const Shot&)>> windows{
        {QStringLiteral("login-sqlite"), [](const Shot& s) { return login(s, kDbmsSqlite); }},
        {QStringLiteral("login-postgresql"), [](const Shot& s) { return login(s, kDbmsPostgreSql); }},
        {QStringLiteral("main"), [](const Shot& s) { return mainWindow(s, QString()); }},
        {QStringLiteral("config"), [](const Shot& s) { return mainWindow(s, QStringLiteral("TREE_ID15")); }},
        {QStringLiteral("builder"), builder},
        {QStringLiteral("odbc"), odbc},
        {QStringLiteral("version-check"), versionCheck},
    };
    const auto window = windows.find(QString::fromLocal8Bit(argv[1]));
    if (window == windows.end()) {
        std::fprintf(stderr, "unknown window %s\n", argv[1]);
        return 2;
    }
    return window->second(shot);
}
