#pragma once

#include "host/numbered_message.h"

#include <QString>

#include <optional>

namespace tarnlow {

// The current language file: gs_path + gs_lang, joined as they stand (gs_path already ends in the
// separator).
QString currentLanguageFile();

// The text of a key in the current language file, read from disk at this moment, so an edit of the
// file shows in the next lookup. A missing file, section or key, or a file that is neither UTF-8
// nor GBK, gives defaultText. Section and key names are compared case-insensitively.
QString lookup(const QString& section, const QString& key, const QString& defaultText);

// The same lookup in a file named by the caller (for example every language file of the list).
QString lookup(const QString& file, const QString& section, const QString& key, const QString& defaultText);

// The caption of a language-aware control: for a non-empty tag the text under that tag in section
// BUTTON of the current language file, keeping the current text when the key is missing; for an
// empty tag the current text.
QString controlCaption(const QString& tag, const QString& currentText);

// Message 10607: some lines of a language file are text in neither UTF-8 nor GBK; their keys give
// their defaults and the rest of the file applies. Parameters: the file, its damaged line numbers.
inline constexpr int kMessageLanguageLinesDamaged = 10607;

// The notice for a language file with damaged lines, no value for a sound file or one that cannot
// be read at all (every lookup then gives its default anyway).
std::optional<NumberedMessage> damagedLanguageFileNotice(const QString& file);

} // namespace tarnlow
