#pragma once

#include <QString>

#include <optional>

namespace tarnlow {

// Looks a key up in a profile (INI) file with the usual profile rules: section and key names are
// compared case-insensitively, blanks around keys and values are trimmed, lines starting with ';'
// are comments, and the first matching key of the first matching section wins. The file is read
// from disk at every call and decoded as UTF-8 or GBK (see decodeTextFile). No value when the file,
// the section or the key is missing, or when the file is in neither encoding.
std::optional<QString> profileString(const QString& filePath, const QString& section, const QString& key);

// Same lookup on text already in memory.
std::optional<QString> profileStringFromText(const QString& text, const QString& section, const QString& key);

} // namespace tarnlow
