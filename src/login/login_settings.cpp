#include "login/login_settings.h"

#include "host/settings_store.h"

namespace tarnlow {

StoredLogin readStoredLogin(const SettingsStore& store) {
    StoredLogin stored;
    store.read(kSettingsKey, setting::kAutoLogin, stored.autoLogin);
    store.read(kSettingsKey, setting::kServerPath, stored.serverPath);
    store.read(kSettingsKey, setting::kServerIp, stored.serverIp);
    store.read(kSettingsKey, setting::kLogin, stored.login);
    store.read(kSettingsKey, setting::kPassword, stored.password);
    store.read(kSettingsKey, setting::kDatabase, stored.database);
    store.read(kSettingsKey, setting::kDbms, stored.dbms);
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

Status applySettingWrites(SettingsStore& store, const QList<SettingWrite>& writes) {
    QList<QPair<QString, QString>> values;
    for (const SettingWrite& write : writes)
        values.append({write.name, write.value});
    return store.writeValues(kSettingsKey, values);
}

} // namespace tarnlow
