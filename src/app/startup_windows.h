#pragma once

#include "host/result.h"

#include <QString>

#include <optional>

namespace tarnlow {

class LibrarySearchList;
class Transaction;

// The windows that start-up opens, in the order it opens them. The desktop program opens the real
// windows; tests script their results. Every window receives the one database connection (sqlca)
// rather than reaching for a global. A modal window returns the number it closed with, or no value
// when it was closed without one.
class StartupWindows {
public:
    virtual ~StartupWindows() = default;

    // w_login, modal. first = 1 when no language has been chosen on this computer yet (the window
    // opens expanded). 1 = connected; anything else, or no value, ends start-up.
    virtual std::optional<int> openLogin(Transaction& sqlca, int first) = 0;

    // w_update, modal, with the whole command line as the package file path. 1 = package applied
    // (start-up restarts); anything else: start-up goes on.
    virtual std::optional<int> openUpdate(Transaction& sqlca, const QString& commandLine) = 0;

    // w_ver, modal, without parameter: downloads newer program files and closes itself.
    virtual void openVersionCheck(Transaction& sqlca) = 0;

    // w_main, a plain (non-modal) open without parameter, created by name through the library
    // search list. An error when no library provides w_main or it is not a window.
    virtual Result<void> openMain(LibrarySearchList& libraries, Transaction& sqlca) = 0;

    // Closes every open window; start-up calls it before it restarts.
    virtual void closeAll() = 0;
};

} // namespace tarnlow
