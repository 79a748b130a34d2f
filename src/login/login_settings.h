#pragma once

#include "host/result.h"

#include <QList>
#include <QString>

namespace tarnlow {

class SettingsStore;

// Names of the per-machine values that the login window reads and writes.
namespace setting {
inline const QString kLang = QStringLiteral("Lang");
inline const QString kAutoLogin = QStringLiteral("AutoLogin");
inline const QString kServerPath = QStringLiteral("Server_path");
inline const QString kServerIp = QStringLiteral("ServerIP");
inline const QString kLogin = QStringLiteral("login");
inline const QString kPassword = QStringLiteral("password");
inline const QString kDatabase = QStringLiteral("database");
inline const QString kDbms = QStringLiteral("DBMS");
} // namespace setting

// The values the login window starts from. Every field starts empty and keeps that state when the
// value is missing; the password is still in its stored (scrambled) form.
struct StoredLogin {
    QString autoLogin;
    QString serverPath;
    QString serverIp;
    QString login;
    QString password;
    QString database;
    QString dbms;
};

// Reads AutoLogin, Server_path, ServerIP, login, password, database and then DBMS, in this order.
StoredLogin readStoredLogin(const SettingsStore& store);

// Only the exact text "1" logs in without showing the window; "1 ", "01" or "true" do not.
bool wantsAutoLogin(const StoredLogin& stored);

// The server program path as the window shows it: a path that already ends in '/' or '\' stays as
// it is; any other path is trimmed and gets '/' appended, unless the trimmed path already ends in a
// separator (a stored "D:\srv\ " becomes "D:\srv\", never "D:\srv\/"). A path of blanks only
// becomes empty rather than the root folder.
QString normalizedServerPath(const QString& storedPath);

// What the window holds when the operator logs in.
struct LoginInputs {
    QString login;
    QString password; // as typed
    QString serverPath;
    QString serverAddress;
    QString database;
    QString dbms; // one of the DBMS texts of the transaction object
    bool autoLogin = false;
};

struct SettingWrite {
    QString name;
    QString value;
    bool operator==(const SettingWrite&) const = default;
};

// The values to store after a successful connection, in the order they are written:
// Server_path, ServerIP, login, database, DBMS; then Lang when a language file was chosen; then
// AutoLogin "1" and the scrambled password when auto-login is on, or AutoLogin "0" and an empty
// password when it is off (so that a machine whose stored password is refused can stop trying it).
QList<SettingWrite> settingsWritesAfterLogin(const LoginInputs& inputs, const QString& chosenLanguageFile,
                                             const QString& scrambledPassword);

// Writes the values under the program's key in one write of the settings file, so that either
// all of them are stored or none is (a new DBMS never pairs with an old database).
Result<void> applySettingWrites(SettingsStore& store, const QList<SettingWrite>& writes);

} // namespace tarnlow
