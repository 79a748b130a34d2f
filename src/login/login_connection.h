#pragma once

#include "db/connect_retry.h"
#include "db/database_worker.h"
#include "db/transaction.h"
#include "lang/language_list.h"
#include "login/login_settings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnlow {

class SettingsStore;
class Transaction;

// The embedded database used when the operator names none.
inline const QString kEmbeddedDatabaseFile = QStringLiteral("tarnlow_as.db");

// The database systems the login window offers, in the order of its list.
struct DbmsChoice {
    QString dbms;        // the transaction object's DBMS text, stored as the value DBMS
    QString displayText; // what the list shows when the language file has no text for it
    QString languageKey; // its text in section TEXT of the language file
};
const QList<DbmsChoice>& dbmsChoices();

// The list position of a stored DBMS value, read as the transaction object reads it (case and
// surrounding blanks do not matter). A missing or empty value selects the embedded SQLite
// database, so a new machine connects without any settings. No value for a database system the
// list does not offer (an unknown text, or ODBC): the window must not log in with it unseen.
std::optional<qsizetype> dbmsChoiceIndex(const QString& storedDbms);

// Fills the connection fields of the transaction object from the window's inputs, exactly as typed.
// For SQLite an empty database means the embedded file in the program folder and a relative path
// is taken relative to that folder. Autocommit is on; no further parameters.
void setConnectionFields(Transaction& sqlca, const LoginInputs& inputs, const QString& programFolder);

// The SQLite file a login with these inputs would open when it does not exist yet (connecting
// would create it), no value when it exists or the inputs are for another database system.
std::optional<QString> missingSqliteFile(const LoginInputs& inputs, const QString& programFolder);

// Whether the inputs name the embedded default file (SQLite with no database named).
bool namesEmbeddedDatabase(const LoginInputs& inputs);

// Numbered messages of the login window about the SQLite file and the stored database type.
inline constexpr int kMessageAutoLoginFileMissing = 10510; // the file
inline constexpr int kMessageCreateSqliteFile = 10511;     // the file; Yes/No, default No
inline constexpr int kMessageAutoLoginNoDbms = 10512;      // none
inline constexpr int kMessageAutoLoginUnknownDbms = 10513; // the stored value

struct LoginFailure {
    int code = 0;
    QString text;
};

// Sets the connection fields and connects. The attempt failed when the connection reports no
// handle or a negative code; the failure carries that code and the driver's or server's text.
std::optional<LoginFailure> connectDatabase(Transaction& sqlca, const LoginInputs& inputs,
                                            const QString& programFolder);

// What a connection attempt on a worker thread ends with: the failure, or the open connection,
// handed over to the thread that started the attempt.
struct LoginAttemptOutcome {
    std::optional<LoginFailure> failure;
    std::shared_ptr<Transaction::HandedOverConnection> connection;
};

// The job that connects the worker's own transaction object (with the connection settings the
// login built by setConnectionFields) and posts the outcome to `done` on the starting thread.
// While the server answers busy it tries again until kDefaultConnectTimeoutSeconds have passed,
// posting each wait to `waiting`. An attempt that was abandoned stops waiting at once and posts
// nothing, and its connection, if it still opens, is closed.
DatabaseWorker::JobFunction loginAttemptJob(std::function<void(const LoginAttemptOutcome&)> done,
                                            std::function<void(const ConnectWait&)> waiting = {});

// Makes the connection of a successful attempt the program's connection `sqlca`. The failure when
// the attempt failed or the connection cannot be taken over.
std::optional<LoginFailure> takeOverLogin(Transaction& sqlca, const LoginAttemptOutcome& outcome);

struct StoredSettings {
    QString languageFile; // the language file made current, empty when none was chosen
    QStringList problems; // what could not be stored, one readable sentence each
};

// After a successful connection: stores the settings in their fixed order, and when a language
// was chosen (chosenLanguageText not empty) makes its file current (gs_lang, gs_font). The
// password is stored scrambled when auto-login is on; a password that cannot be scrambled is
// stored empty with auto-login off, and said so in problems.
StoredSettings storeSettingsAfterLogin(SettingsStore& store, LoginInputs inputs,
                                       const QList<LanguageEntry>& languages,
                                       const QString& chosenLanguageText);

} // namespace tarnlow
