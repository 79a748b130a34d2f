#pragma once

#include "host/library_search_list.h"
#include "host/result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

namespace tarnlow {

class LibrarySearchList;
class SettingsStore;
class SingleInstanceLock;
class StartupWindows;
class Transaction;

// What start-up takes from the host. fromProcess() describes the running program; tests set the
// fields themselves.
struct StartupHost {
    QString executablePath;            // the running executable
    bool moduleHandleAvailable = true; // false: program folder from the current directory, no
                                       // single-instance lock, no libraries from the database
    QString currentDirectory;          // used when the module handle is not available
    QString lockDirectory;             // where the single-instance lock file lives
    QString dataHome;                  // where the desktop file type goes; empty: not registered
    QString initialLibraries;          // the libraries after the executable in the initial search
                                       // list, comma-separated, relative to the executable's folder;
                                       // they stay last when the database's libraries join the list
    // Objects the executable itself provides (tool windows), registered on every new search list.
    QList<std::pair<QString, LibrarySearchList::Factory>> ownObjects;

    static StartupHost fromProcess();
};

// File name of the default object library (w_main, w_about) next to the executable.
inline const QString kDefaultObjectLibrary = QStringLiteral("libtarnlow_main.so");

// How open() ended.
enum class StartupResult {
    MainWindowOpened,   // w_main is open; the program runs until its last window closes
    AnotherCopyRunning, // message 10026 was shown
    LoginEnded,         // the login window closed without connecting
    SystemTablesFailed, // the system tables cannot be used; the check showed why
    LibraryListFailed,  // "load library error!" was shown
    MainWindowFailed,   // no library provides a usable w_main; the reason was shown
};

// What the system-table check leaves start-up with.
struct SystemTablesVerdict {
    bool goOn = true; // false: the tables cannot be used and start-up ends (the check has shown why)
    // A system table this login may not read (the check has said so); start-up goes on without
    // what needs it and says nothing more about it.
    QString unreadableTable;
};

// Checks the system tables on the open connection and re-initialises them when needed.
using SystemTablesCheck = std::function<SystemTablesVerdict(Transaction& sqlca, SettingsStore& settings)>;

// The library search list after the database's libraries are added: the current list without
// its first entry (the whole list when it holds no comma), then "," and the database's list.
QString extendedLibraryList(const QString& currentList, const QString& databaseLibraries);

// The list followed by each fallback library (comma-separated) that it does not name already.
QString withFallbackLibraries(const QString& list, const QString& fallbacks);

// The application object: create sets up the database connection, open runs the start-up from
// the program folder to the main window, destroy releases what create set up. It reaches the
// windows only through StartupWindows.
class tarnlow_as {
public:
    tarnlow_as(StartupHost host, StartupWindows& windows);
    ~tarnlow_as();
    tarnlow_as(const tarnlow_as&) = delete;
    tarnlow_as& operator=(const tarnlow_as&) = delete;

    static QString appname() { return QStringLiteral("tarnlow_as"); }

    void create();
    // commandline: the process's arguments joined, the path of an update package or empty.
    StartupResult open(const QString& commandline);
    void destroy();

    void setSystemTablesCheck(SystemTablesCheck check) { m_systemTablesCheck = std::move(check); }

    Transaction* sqlca() const { return m_sqlca.get(); }
    LibrarySearchList* libraries() const { return m_libraries.get(); }
    // How often start-up began at its first step during this open (1 plus the restarts).
    int passes() const { return m_passes; }

private:
    enum class PassEnd { Finished, Restart };
    PassEnd runPass(const QString& commandline, StartupResult& result);
    // The steps of a pass, in the order runPass takes them.
    void setUpProgramFolder(const QString& executable);    // gs_path, gs_lang cleared, library list
    int readChosenLanguage(const SettingsStore& settings); // 1 on the first run on this computer
    void registerFileType(SettingsStore& settings, const QString& executable);
    bool takeSingleInstanceLock(); // false when another copy runs (message 10026 shown)
    // gds_menu; reportFailure: the menu table was not already reported unreadable.
    void retrieveMenu(bool reportFailure);
    // False when the database's libraries cannot be loaded.
    bool addDatabaseLibraries(bool reportUnreadableRow);
    bool openMainWindow(); // false when w_main cannot be opened (the reason shown)
    void restart();

    StartupHost m_host;
    StartupWindows& m_windows;
    SystemTablesCheck m_systemTablesCheck;
    std::unique_ptr<Transaction> m_sqlca;
    std::unique_ptr<LibrarySearchList> m_libraries;
    std::unique_ptr<SingleInstanceLock> m_lock;
    int m_passes = 0;
};

} // namespace tarnlow
