#include "cli/commands.h"

#include "host/settings_store.h"

namespace tarnlow::cli {
namespace {

int runSettings(const QStringList& arguments) {
    SettingsStore store = SettingsStore::standard();
    const QString action = arguments.value(0);
    if (action == QStringLiteral("list") && arguments.size() == 1) {
        for (const QString& name : store.valueNames(kSettingsKey)) {
            printOut(name + QLatin1Char('=') + store.read(kSettingsKey, name).value_or(QString()));
        }
        return kExitDone;
    }
    if (action == QStringLiteral("get") && arguments.size() == 2) {
        const std::optional<QString> value = store.read(kSettingsKey, arguments.at(1));
        if (!value) {
            printError(QStringLiteral("tarnlow_as_cli settings: no value named \"%1\" in %2")
                           .arg(arguments.at(1), store.filePath()));
            return kExitFailed;
        }
        printOut(*value);
        return kExitDone;
    }
    if (action == QStringLiteral("set") && arguments.size() == 3) {
        if (arguments.at(1).isEmpty())
            return usageError(settingsCommand, QStringLiteral("the value name must not be empty"));
        if (!store.write(kSettingsKey, arguments.at(1), arguments.at(2)))
            return fail(QStringLiteral("cannot write the settings file %1").arg(store.filePath()));
        return kExitDone;
    }
    return usageError(settingsCommand, QStringLiteral("expected list, get NAME or set NAME VALUE"));
}

} // namespace

const Command settingsCommand{
    "settings",
    "list, read or change the stored settings (Lang, AutoLogin, Comp_ID, ...)",
    "settings list | settings get NAME | settings set NAME VALUE",
    runSettings,
};

} // namespace tarnlow::cli
