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
#include "schema/schema_bootstrap.h"

#include <QDir>
#include <QtDebug>

namespace tarnlow {
namespace {

const QString kDefaultLanguageFile = QStringLiteral("English.flf");
const QString kLibrariesQuery = QStringLiteral("select conf_value from t_sys_config where conf_type ='LIB' ");
constexpr int kAnotherCopyMessage = 10026;
constexpr int kMessageLibrariesUnreadable = 10602;   // the database's text
constexpr int kMessageMenuUnreadable = 10603;        // the reason
constexpr int kMessageFileTypeNotRegistered = 10604; // the reason

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

QString withFallbackLibraries(const QString& list, const QString& fallbacks) {
    QStringList entries;
    for (const QString& entry : list.split(QLatin1Char(',')))
        entries.append(entry.trimmed());
    QString result = list;
    for (const QString& raw : fallbacks.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString fallback = raw.trimmed();
        if (!fallback.isEmpty() && !entries.contains(fallback))
            result += QLatin1Char(',') + fallback;
    }
    return result;
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
    const QString executable = m_host.executablePath;

    setUpProgramFolder(executable);
    const int firstRun = readChosenLanguage(settings);
    registerFileType(settings, executable);
    gs_font = lookup(QStringLiteral("FLF"), QStringLiteral("FONT"), QStringLiteral("Arial"));
    // A damaged language file is read line by line; the operator hears once which lines fall back.
    if (m_passes == 1) {
        if (const std::optional<NumberedMessage> damaged = damagedLanguageFileNotice(currentLanguageFile()))
            f_msgbox(*damaged);
    }

    if (!takeSingleInstanceLock()) {
        result = StartupResult::AnotherCopyRunning;
        return PassEnd::Finished;
    }

    // Only the result 1 stands for an open connection; anything else, including a window closed
    // without a result, ends start-up.
    const std::optional<int> login = m_windows.openLogin(*m_sqlca, firstRun);
    if (login != 1) {
        result = StartupResult::LoginEnded;
        return PassEnd::Finished;
    }
    const SystemTablesVerdict tables =
        m_systemTablesCheck ? m_systemTablesCheck(*m_sqlca, settings) : SystemTablesVerdict{};
    if (!tables.goOn) {
        result = StartupResult::SystemTablesFailed;
        return PassEnd::Finished;
    }
    // A table the login may not read has been reported once; what needs it is skipped quietly.
    const auto unreadable = [&tables](const QString& table) {
        return tables.unreadableTable.compare(table, Qt::CaseInsensitive) == 0;
    };
    // An update package named on the command line; once it is applied start-up begins again.
    if (!commandline.isEmpty() && m_windows.openUpdate(*m_sqlca, commandline) == 1)
        return PassEnd::Restart;
    if (!unreadable(kSystemVersionTable))
        m_windows.openVersionCheck(*m_sqlca);

    retrieveMenu(!unreadable(kSystemMenuTable));
    if (!addDatabaseLibraries(!unreadable(kSystemConfigTable))) {
        result = StartupResult::LibraryListFailed;
        return PassEnd::Finished;
    }
    result = openMainWindow() ? StartupResult::MainWindowOpened : StartupResult::MainWindowFailed;
    return PassEnd::Finished;
}

void tarnlow_as::setUpProgramFolder(const QString& executable) {
    const QString programFolder = m_host.moduleHandleAvailable ? folderOfExecutable(executable)
                                                               : folderWithSeparator(m_host.currentDirectory);
    gs_lang = QString();
    gs_path = programFolder;

    // The library search list starts afresh at every pass, so that a restart does not drop
    // libraries the previous pass added.
    m_libraries = std::make_unique<LibrarySearchList>(executable, folderOfExecutable(executable));
    for (const auto& [name, factory] : m_host.ownObjects)
        m_libraries->registerOwnObject(name, factory);
    const QString initialList = withFallbackLibraries(executable, m_host.initialLibraries);
    if (const Result<void> loaded = m_libraries->setList(initialList); !loaded)
        qWarning().noquote() << "tarnlow_as:" << loaded.error();
}

int tarnlow_as::readChosenLanguage(const SettingsStore& settings) {
    // A missing value is the first run on this computer.
    gs_lang = settings.read(kSettingsKey, QStringLiteral("Lang")).value_or(gs_lang);
    if (!gs_lang.isNull())
        return 0;
    gs_lang = kDefaultLanguageFile;
    return 1;
}

void tarnlow_as::registerFileType(SettingsStore& settings, const QString& executable) {
    // Written at every start so that packages open the program that ran last; a failure does not
    // stop start-up, but the operator learns why opening a package may not work.
    const auto report = [](const QString& reason) {
        qWarning().noquote() << "tarnlow_as:"
                             << messageText(NumberedMessage{kMessageFileTypeNotRegistered, {reason}});
    };
    if (const Result<void> entries = registerFileTypeEntries(settings, executable); !entries)
        report(entries.error());
    if (!m_host.dataHome.isEmpty()) {
        if (const Result<void> desktop = registerDesktopFileType(m_host.dataHome, executable); !desktop)
            report(desktop.error());
    }
}

bool tarnlow_as::takeSingleInstanceLock() {
    if (!m_host.moduleHandleAvailable)
        return true;
    if (!m_lock)
        m_lock = std::make_unique<SingleInstanceLock>(appname(), m_host.lockDirectory);
    const Result<bool> taken = m_lock->acquire();
    if (!taken.ok()) {
        // Without a usable lock file the program still starts; it just cannot turn a second copy
        // away.
        qWarning().noquote() << "tarnlow_as:" << taken.error();
    } else if (!*taken) {
        const QString appName =
            lookup(QStringLiteral("TEXT"), QStringLiteral("APP_NAME"), QStringLiteral("Tarnlow私服辅助程序"));
        f_msgbox(kAnotherCopyMessage, {appName});
        return false;
    }
    gl_mutex = m_lock->handle();
    return true;
}

void tarnlow_as::retrieveMenu(bool reportFailure) {
    gds_menu = std::make_unique<DataStore>(d_menu());
    gds_menu->setTransaction(m_sqlca.get());
    // The main window still opens, with an empty menu; the operator is told why it is empty.
    if (const Result<int> rows = gds_menu->retrieve(); !rows && reportFailure)
        f_msgbox(NumberedMessage{kMessageMenuUnreadable, {rows.error()}});
}

bool tarnlow_as::addDatabaseLibraries(bool reportUnreadableRow) {
    QString databaseLibraries;
    const std::optional<QVariantList> row = m_sqlca->selectInto(kLibrariesQuery);
    if (row && !row->isEmpty())
        databaseLibraries = row->at(0).toString();
    else if (m_sqlca->SQLCode < 0 && reportUnreadableRow)
        // Start-up goes on without the database's libraries, which may show another w_main than
        // the database names; the operator is told so.
        f_msgbox(NumberedMessage{kMessageLibrariesUnreadable, {m_sqlca->SQLErrText}});
    if (databaseLibraries.isEmpty() || !m_host.moduleHandleAvailable)
        return true;
    // The list arithmetic applies to the executable's own list; the program's default libraries
    // follow the database's, so that a site's own w_main and w_about are the ones found.
    const QString libraryList = withFallbackLibraries(
        extendedLibraryList(m_host.executablePath, databaseLibraries), m_host.initialLibraries);
    if (const Result<void> loaded = m_libraries->setList(libraryList); !loaded) {
        qWarning().noquote() << "tarnlow_as:" << loaded.error();
        MessageBoxRequest request;
        request.title = QStringLiteral("error");
        request.text = QStringLiteral("load library error!");
        request.icon = MessageIcon::Error;
        showMessageBox(request);
        return false;
    }
    return true;
}

bool tarnlow_as::openMainWindow() {
    const Result<void> main = m_windows.openMain(*m_libraries, *m_sqlca);
    if (main)
        return true;
    MessageBoxRequest request;
    request.title = QStringLiteral("error");
    request.text = main.error();
    request.icon = MessageIcon::Error;
    showMessageBox(request);
    return false;
}

} // namespace tarnlow
