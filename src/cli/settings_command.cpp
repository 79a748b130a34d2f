#include "cli/commands.h"

#include "host/settings_store.h"

#include <QCommandLineParser>

namespace tarnlow::cli {
namespace {

void declareSettings(QCommandLineParser& parser) {
    // Everything after the action is a name or a value, even when it starts with a dash:
    // "settings set Lang --help" stores the text "--help".
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addPositionalArgument(QStringLiteral("ACTION"),
                                 QStringLiteral("list prints every value as NAME=VALUE, get NAME prints one "
                                                "value, set NAME VALUE stores one value."));
}

int runSettings(const QCommandLineParser& parser) {
    const QStringList arguments = parser.positionalArguments();
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
        if (const Result<void> written =
                store.writeValues(kSettingsKey, {{arguments.at(1), arguments.at(2)}});
            !written)
            return fail(written.error());
        return kExitDone;
    }
    return usageError(settingsCommand, QStringLiteral("expected list, get NAME or set NAME VALUE"));
}

} // namespace

const Command settingsCommand{
    "settings",
    "list, read or change the stored settings (Lang, AutoLogin, Comp_ID, ...)",
    "settings list | settings get NAME | settings set NAME VALUE",
    declareSettings,
    runSettings,
};

} // namespace tarnlow::cli
