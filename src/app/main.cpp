// The desktop program: runs the start-up of the application object and then the main window's
// event loop until the last window closes.

#include "app/application_globals.h"
#include "app/system_tables_startup.h"
#include "app/tarnlow_as.h"
#include "app/widget_startup_windows.h"
#include "db/database_worker.h"
#include "host/message_box.h"
#include "host/message_box_dialog.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "login/w_login.h"
#include "tools/w_test.h"
#include "update/w_update.h"
#include "update/w_ver.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstring>

#include <unistd.h>

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

// With TARNLOW_AS_WINDOW_LOG naming a file, the object name of every window the program shows is
// appended to it, one a line, so that whoever runs it unattended knows where it waits.
class WindowLog : public QObject {
public:
    WindowLog(QString file, QObject* parent)
        : QObject(parent)
        , m_file(std::move(file)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            QFile out(m_file);
            if (out.open(QIODevice::Append))
                out.write(watched->objectName().toUtf8() + '\n');
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QString m_file;
};

void installWindowLogWhenAsked(QApplication& application) {
    const QString logFile = qEnvironmentVariable("TARNLOW_AS_WINDOW_LOG");
    if (!logFile.isEmpty())
        application.installEventFilter(new WindowLog(logFile, &application));
}

// "tarnlow_as --version" prints the version and touches nothing else: no display, settings or
// database is needed. Any other command line stays the path of an update package.
bool isVersionRequest(int argc, char** argv) {
    return argc == 2 && std::strcmp(argv[1], "--version") == 0;
}

// False when standard output did not take the text (closed, full disk).
bool printVersion() {
    const QByteArray text = QByteArrayLiteral("tarnlow_as ") + tarnlow::gs_ver.toUtf8() + '\n';
    return std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout) ==
               static_cast<size_t>(text.size()) &&
           std::fflush(stdout) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (isVersionRequest(argc, argv))
        return printVersion() ? 0 : 1;
    QApplication application(argc, argv);
    QApplication::setApplicationName(tarnlow::tarnlow_as::appname());
    // The icon the desktop file type registration installs; desktops match windows to it.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarnlow/icons/tarnlow_as-256.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("tarnlow_as"));
    // Start-up opens and closes modal windows before the main window exists; none of those
    // closings may end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    installMessageLogWhenAsked();
    installWindowLogWhenAsked(application);

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
    tarnlow::StartupHost host = tarnlow::StartupHost::fromProcess();
    host.ownObjects.append({tarnlow::kTestWindowName, tarnlow::createTestWindow});
    tarnlow::tarnlow_as app(std::move(host), windows);
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
    // A login attempt the operator gave up on may still wait for its server. It touches nothing of
    // the program's, but the database layer must not be torn down under it: give it a moment, then
    // leave without the shutdown of the libraries.
    if (!tarnlow::DatabaseWorker::waitForAllJobs(std::chrono::milliseconds(500))) {
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(exitCode);
    }
    return exitCode;
}
