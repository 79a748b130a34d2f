#include "lang/language_switch.h"

#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "lang/language_lookup.h"

namespace tarnlow {

void reloadLanguageFont() {
    gs_font = lookup(QStringLiteral("FLF"), QStringLiteral("FONT"), QStringLiteral("Arial"));
}

Result<void> switchLanguage(const QString& fileName, SettingsStore& store) {
    gs_lang = fileName;
    const Result<void> stored = store.writeValues(kSettingsKey, {{QStringLiteral("Lang"), fileName}});
    reloadLanguageFont();
    if (!stored)
        return Error{QStringLiteral("The language \"%1\" could not be stored as value Lang in %2: %3")
                         .arg(fileName, store.filePath(), stored.error())};
    return {};
}

Result<QString> chooseLanguage(const QList<LanguageEntry>& entries, const QString& chosenText,
                               SettingsStore& store) {
    const std::optional<qsizetype> index = findLanguageByText(entries, chosenText);
    if (!index)
        return Error{QStringLiteral("No language file is named \"%1\".").arg(chosenText)};
    const QString fileName = entries.at(*index).fileName;
    if (Result<void> status = switchLanguage(fileName, store); !status)
        return Error{status.error()};
    return fileName;
}

} // namespace tarnlow
