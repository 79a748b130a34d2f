#pragma once

#include "app/startup_windows.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

namespace tarnlow::test {

// The windows of start-up with scripted results. Login connects the real transaction object (to an
// SQLite file unless told otherwise) before it answers, as the real login window does on success;
// every call is recorded in order.
class ScriptedWindows : public StartupWindows {
public:
    explicit ScriptedWindows(QString databaseFile)
        : m_databaseFile(std::move(databaseFile)) {}

    std::deque<std::optional<int>> loginResults; // one per login; 1 once the queue is empty
    std::optional<int> updateResult = 0;
    std::function<void()> duringLogin; // runs while the login window is "open"
    // Sets the connection fields the login connects with; the SQLite file given at construction
    // when empty.
    std::function<void(Transaction&)> configureLogin;
    QStringList calls;
    QString mainProvider; // the library that provided w_main

    std::optional<int> openLogin(Transaction& sqlca, int first) override;
    std::optional<int> openUpdate(Transaction& sqlca, const QString& commandLine) override;
    void openVersionCheck(Transaction& sqlca) override;
    Result<void> openMain(LibrarySearchList& libraries, Transaction& sqlca) override;
    void closeAll() override;

private:
    QString m_databaseFile;
};

} // namespace tarnlow::test
