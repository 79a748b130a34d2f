#include "app/tarnlow_as.h"

#include "app/application_globals.h"
#include "app/startup_windows.h"
#include "db/data_store.h"
#include "db/transaction.h"
#include "host/file_type_registration.h"
#include "host/library_search_list.h"
#include "host/message_box.h"
#include "host/program_location.h"
#include "host/settings_store.h"
#include "host/single_instance_lock.h"
#include "lang/f_msgbox.h"
#include "lang/language_globals.h"
#include "lang/language_lookup.h"
#include "menus/d_menu.h"

#include <QDir>
#include <QtDebug>

namespace tarnlow {
namespace {

const QString kDefaultLanguageFile = QStringLiteral("English.flf");
const QString kLibrariesQuery = QStringLiteral("select conf_value from t_sys_config where conf_type ='LIB' ");
constexpr int kAnotherCopyMessage = 10026;

} // namespace

StartupHost StartupHost::fromProcess() {
    StartupHost host;
    host.executablePath = runningExecutablePath();
    host.moduleHandleAvailable = tarnlow::moduleHandleAvailable();
    host.currentDirectory = QDir::currentPath();
    host.lockDirectory = SingleInstanceLock::defaultDirectory();
    host.dataHome = standardDataHome();
    host.initialLibraries = kDefaultObjectLibrary;
    return host;
}

QString extendedLibraryList(const QString& currentList, const QString& databaseLibraries) {
    // Without a comma the whole list stays, executable included.
    const qsizetype comma = currentList.indexOf(QLatin1Char(','));
    const QString rest = comma < 0 ? currentList : currentList.mid(comma + 1);
    return rest + QLatin1Char(',') + databaseLibraries;
}

tarnlow_as::tarnlow_as(StartupHost host, StartupWindows& windows)
    : m_host(std::move(host))
    , m_windows(windows) {}

tarnlow_as::~tarnlow_as() {
    destroy();
}

void tarnlow_as::create() {
    if (!m_sqlca)
        m_sqlca = std::make_unique<Transaction>();
}

void tarnlow_as::destroy() {
    gds_menu.reset();
    if (m_sqlca) {
        if (m_sqlca->isConnected())
            m_sqlca->disconnect();
        m_sqlca.reset();
    }
}

StartupResult tarnlow_as::open(const QString& commandline) {
    create();
    m_passes = 0;
    QString pending = commandline;
    StartupResult result = StartupResult::MainWindowOpened;
    while (runPass(pending, result) == PassEnd::Restart) {
        // The package has been applied: the restarted start-up must not apply it a second time.
        pending.clear();
        restart();
    }
    return result;
}

void tarnlow_as::restart() {
    m_windows.closeAll();
    if (m_lock)
        m_lock->release();
    gl_mutex = 0;
    gds_menu.reset();
    if (m_sqlca->isConnected())
        m_sqlca->disconnect();
}

tarnlow_as::PassEnd tarnlow_as::runPass(const QString& commandline, StartupResult& result) {
    ++m_passes;
    SettingsStore settings = SettingsStore::standard();

    // Steps 1 to 4: executable path and program folder.
    const QString ls_exe = m_host.executablePath;
    QString ls_filename;
    if (!m_host.moduleHandleAvailable)
        ls_filename = folderWithSeparator(m_host.currentDirectory);
    else
        ls_filename = folderOfExecutable(ls_exe);
    gs_lang = QString();
    gs_path = ls_filename;

    // The library search list starts afresh at every pass, so that a restart does not drop
    // libraries the previous pass added.
    m_libraries = std::make_unique<LibrarySearchList>(ls_exe, folderOfExecutable(ls_exe));
    for (const auto& [name, factory] : m_host.ownObjects)
        m_libraries->registerOwnObject(name, factory);
    QString initialList = ls_exe;
    if (!m_host.initialLibraries.isEmpty())
        initialList += QLatin1Char(',') + m_host.initialLibraries;
    QString reason;
    if (m_libraries->setList(initialList, &reason) < 1)
        qWarning().noquote() << "tarnlow_as:" << reason;

    // Step 5: the chosen language; a missing value is the first run on this computer.
    int li_first = 0;
    settings.read(kSettingsKey, QStringLiteral("Lang"), gs_lang);
    if (gs_lang.isNull()) {
        gs_lang = kDefaultLanguageFile;
        li_first = 1;
    }

    // Step 6: the update-package file type, at every start; failures do not stop start-up.
    registerFileTypeEntries(settings, ls_exe);
    if (!m_host.dataHome.isEmpty()) {
        const Status desktop = registerDesktopFileType(m_host.dataHome, ls_exe);
        if (!desktop)
            qWarning().noquote() << "tarnlow_as:" << desktop.error();
    }

    // Steps 7 and 8: font and title.
    gs_font = lookup(QStringLiteral("FLF"), QStringLiteral("FONT"), QStringLiteral("Arial"));
    const QStringList ls_parm{
        lookup(QStringLiteral("TEXT"), QStringLiteral("APP_NAME"), QStringLiteral("Tarnlow私服辅助程序"))};

    // Step 9: only one copy runs.
    if (m_host.moduleHandleAvailable) {
        if (!m_lock)
            m_lock = std::make_unique<SingleInstanceLock>(appname(), m_host.lockDirectory);
        const Result<bool> taken = m_lock->acquire();
        if (!taken.ok()) {
            // Without a usable lock file the program still starts; it just cannot turn a second
            // copy away.
            qWarning().noquote() << "tarnlow_as:" << taken.error();
        } else if (!*taken) {
            f_msgbox(kAnotherCopyMessage, ls_parm);
            result = StartupResult::AnotherCopyRunning;
            return PassEnd::Finished;
        }
        gl_mutex = m_lock->handle();
    }

    // Step 10: login. Only the result 1 stands for an open connection; anything else, including
    // a window closed without a result, ends start-up.
    const std::optional<int> login = m_windows.openLogin(*m_sqlca, li_first);
    if (login != 1) {
        result = StartupResult::LoginEnded;
        return PassEnd::Finished;
    }

    // Step 11: system tables.
    if (m_systemTablesCheck && !m_systemTablesCheck(*m_sqlca, settings)) {
        result = StartupResult::SystemTablesFailed;
        return PassEnd::Finished;
    }

    // Step 12: an update package named on the command line.
    if (!commandline.isEmpty()) {
        if (m_windows.openUpdate(*m_sqlca, commandline) == 1)
            return PassEnd::Restart;
    }

    // Step 13: version check.
    m_windows.openVersionCheck(*m_sqlca);

    // Step 14: menu list.
    gds_menu = std::make_unique<DataStore>(d_menu());
    gds_menu->setTransaction(m_sqlca.get());
    gds_menu->retrieve();

    // Step 15: object libraries named by the database.
    QString ls_library_list;
    if (const auto row = m_sqlca->selectInto(kLibrariesQuery); row && !row->isEmpty())
        ls_library_list = row->at(0).toString();
    if (!ls_library_list.isEmpty() && m_host.moduleHandleAvailable) {
        const QString ls_list = extendedLibraryList(m_libraries->list(), ls_library_list);
        if (m_libraries->setList(ls_list, &reason) < 1) {
            qWarning().noquote() << "tarnlow_as:" << reason;
            MessageBoxRequest request;
            request.title = QStringLiteral("error");
            request.text = QStringLiteral("load library error!");
            request.icon = MessageIcon::Error;
            showMessageBox(request);
            result = StartupResult::LibraryListFailed;
            return PassEnd::Finished;
        }
    }

    // Step 16: the main window.
    const Status main = m_windows.openMain(*m_libraries, *m_sqlca);
    if (!main) {
        MessageBoxRequest request;
        request.title = QStringLiteral("error");
        request.text = main.error();
        request.icon = MessageIcon::Error;
        showMessageBox(request);
        result = StartupResult::MainWindowFailed;
        return PassEnd::Finished;
    }
    result = StartupResult::MainWindowOpened;
    return PassEnd::Finished;
}

} // namespace tarnlow
