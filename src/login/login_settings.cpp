#include "login/login_settings.h"

#include "host/settings_store.h"

namespace tarnlow {

StoredLogin readStoredLogin(const SettingsStore& store) {
    StoredLogin stored;
    stored.autoLogin = store.read(kSettingsKey, setting::kAutoLogin).value_or(stored.autoLogin);
    stored.serverPath = store.read(kSettingsKey, setting::kServerPath).value_or(stored.serverPath);
    stored.serverIp = store.read(kSettingsKey, setting::kServerIp).value_or(stored.serverIp);
    stored.login = store.read(kSettingsKey, setting::kLogin).value_or(stored.login);
    stored.password = store.read(kSettingsKey, setting::kPassword).value_or(stored.password);
    stored.database = store.read(kSettingsKey, setting::kDatabase).value_or(stored.database);
    stored.dbms = store.read(kSettingsKey, setting::kDbms).value_or(stored.dbms);
    return stored;
}

bool wantsAutoLogin(const StoredLogin& stored) {
    return stored.autoLogin == QLatin1String("1");
}

static bool endsInSeparator(const QString& path) {
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

QString normalizedServerPath(const QString& storedPath) {
    if (storedPath.isEmpty() || endsInSeparator(storedPath))
        return storedPath;
    const QString trimmed = storedPath.trimmed();
    if (trimmed.isEmpty() || endsInSeparator(trimmed))
        return trimmed;
    return trimmed + QLatin1Char('/');
}

QList<SettingWrite> settingsWritesAfterLogin(const LoginInputs& inputs, const QString& chosenLanguageFile,
                                             const QString& scrambledPassword) {
    QList<SettingWrite> writes{
        {setting::kServerPath, inputs.serverPath},
        {setting::kServerIp, inputs.serverAddress},
        {setting::kLogin, inputs.login},
        {setting::kDatabase, inputs.database},
        {setting::kDbms, inputs.dbms},
    };
    if (!chosenLanguageFile.isEmpty())
        writes.append({setting::kLang, chosenLanguageFile});
    if (inputs.autoLogin) {
        writes.append({setting::kAutoLogin, QStringLiteral("1")});
        writes.append({setting::kPassword, scrambledPassword});
    } else {
        writes.append({setting::kAutoLogin, QStringLiteral("0")});
        writes.append({setting::kPassword, QString()});
    }
    return writes;
}

Result<void> applySettingWrites(SettingsStore& store, const QList<SettingWrite>& writes) {
    QList<QPair<QString, QString>> values;
    for (const SettingWrite& write : writes)
        values.append({write.name, write.value});
    return store.writeValues(kSettingsKey, values);
}

} // namespace tarnlow
