// The desktop program: runs the start-up of the application object and then the main window's
// event loop until the last window closes.

#include "app/system_tables_startup.h"
#include "app/tarnlow_as.h"
#include "app/widget_startup_windows.h"
#include "host/message_box.h"
#include "host/message_box_dialog.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "login/w_login.h"
#include "update/w_update.h"
#include "update/w_ver.h"

#include <QApplication>
#include <QFile>

namespace {

// With TARNLOW_AS_MESSAGE_LOG naming a file, message boxes are appended to it ("title<TAB>text")
// instead of shown, answered with their default button. Used to run the program unattended.
void installMessageLogWhenAsked() {
    const QString logFile = qEnvironmentVariable("TARNLOW_AS_MESSAGE_LOG");
    if (logFile.isEmpty()) {
        tarnlow::installDialogMessageBoxHandler();
        return;
    }
    tarnlow::setMessageBoxHandler([logFile](const tarnlow::MessageBoxRequest& request) {
        QFile out(logFile);
        if (out.open(QIODevice::Append)) {
            QString text = request.title + QLatin1Char('\t') + request.text;
            text.replace(QLatin1Char('\n'), QLatin1Char(' '));
            out.write((text + QLatin1Char('\n')).toUtf8());
        }
        return request.defaultButton;
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(tarnlow::tarnlow_as::appname());
    // Start-up opens and closes modal windows before the main window exists; none of those
    // closings may end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    installMessageLogWhenAsked();

    tarnlow::WidgetStartupWindows windows;
    windows.login = [](tarnlow::Transaction& sqlca, int first) {
        return tarnlow::w_login::openModal(sqlca, first);
    };
    windows.update = [](tarnlow::Transaction& sqlca, const QString& commandLine) {
        tarnlow::w_update window;
        return window.open(sqlca, commandLine);
    };
    windows.versionCheck = [](tarnlow::Transaction& sqlca) {
        tarnlow::SettingsStore settings = tarnlow::SettingsStore::standard();
        tarnlow::w_ver window(sqlca, settings, tarnlow::gs_path);
        window.runVersionCheck();
    };
    tarnlow::tarnlow_as app(tarnlow::StartupHost::fromProcess(), windows);
    app.setSystemTablesCheck(tarnlow::checkSystemTablesAtStartup);
    app.create();
    // The whole command line is the path of an update package.
    const QString commandline = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    const tarnlow::StartupResult result = app.open(commandline);

    int exitCode = 0;
    switch (result) {
    case tarnlow::StartupResult::MainWindowOpened:
        QApplication::setQuitOnLastWindowClosed(true);
        exitCode = QApplication::exec();
        break;
    case tarnlow::StartupResult::AnotherCopyRunning:
    case tarnlow::StartupResult::LoginEnded:
        break;
    case tarnlow::StartupResult::SystemTablesFailed:
    case tarnlow::StartupResult::LibraryListFailed:
    case tarnlow::StartupResult::MainWindowFailed:
        exitCode = 1;
        break;
    }
    app.destroy();
    return exitCode;
}
