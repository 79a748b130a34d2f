#pragma once

#include "host/result.h"
#include "lang/language_list.h"

#include <QString>

namespace tarnlow {

class SettingsStore;

// gs_font = FLF/FONT of the current language file, "Arial" when missing.
void reloadLanguageFont();

// Makes a language file current: gs_lang = fileName, the settings value Lang = fileName, then
// gs_font from the new file. The language is switched for this run even when Lang cannot be
// stored; the error then says so.
Result<void> switchLanguage(const QString& fileName, SettingsStore& store);

// The login window's choice: finds the entry by its display text (the first entry whose name
// begins with it) and switches to that entry's file. Returns the file name now in gs_lang, or an
// error when no entry matches (nothing changes then) or when Lang could not be stored.
Result<QString> chooseLanguage(const QList<LanguageEntry>& entries, const QString& chosenText,
                               SettingsStore& store);

} // namespace tarnlow
