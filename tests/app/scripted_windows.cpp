#include "scripted_windows.h"

#include "db/transaction.h"
#include "host/library_search_list.h"

namespace tarnlow::test {

std::optional<int> ScriptedWindows::openLogin(Transaction& sqlca, int first) {
    calls.append(QStringLiteral("login(%1)").arg(first));
    if (duringLogin)
        duringLogin();
    std::optional<int> result = 1;
    if (!loginResults.empty()) {
        result = loginResults.front();
        loginResults.pop_front();
    }
    if (result == 1) {
        if (configureLogin) {
            configureLogin(sqlca);
        } else {
            sqlca.DBMS = kDbmsSqlite;
            sqlca.Database = m_databaseFile;
        }
        if (sqlca.connect() < 0)
            return std::nullopt;
    }
    return result;
}

std::optional<int> ScriptedWindows::openUpdate(Transaction& sqlca, const QString& commandLine) {
    calls.append(
        QStringLiteral("update(%1,%2)")
            .arg(commandLine, sqlca.isConnected() ? QStringLiteral("connected") : QStringLiteral("offline")));
    return updateResult;
}

void ScriptedWindows::openVersionCheck(Transaction& sqlca) {
    calls.append(sqlca.isConnected() ? QStringLiteral("ver") : QStringLiteral("ver offline"));
}

Result<void> ScriptedWindows::openMain(LibrarySearchList& libraries, Transaction&) {
    calls.append(QStringLiteral("main"));
    mainProvider = libraries.providerOf(QStringLiteral("w_main"));
    if (mainProvider.isEmpty())
        return Error{QStringLiteral("no library provides w_main")};
    return {};
}

void ScriptedWindows::closeAll() {
    calls.append(QStringLiteral("closeAll"));
}

} // namespace tarnlow::test
