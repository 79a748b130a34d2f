#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tarnlow {

// Looks a key up in a profile (INI) file with the usual profile rules: section and key names are
// compared case-insensitively, blanks around keys and values are trimmed, lines starting with ';'
// are comments, and the first matching key of the first matching section wins. The file is read
// from disk at every call and decoded as UTF-8 or GBK line by line (see decodeTextFileByLines), so
// a line that is text in neither gives no value for its key and the other lines still count. No
// value when the file, the section or the key is missing.
std::optional<QString> profileString(const QString& filePath, const QString& section, const QString& key);

// The 1-based numbers of the lines of a profile file that are text in neither encoding, and
// whether any line could be read at all; no value when the file cannot be read.
struct ProfileReadability {
    QList<int> badLines;
    bool anyLineRead = false;
};
std::optional<ProfileReadability> profileReadability(const QString& filePath);

// Same lookup on text already in memory.
std::optional<QString> profileStringFromText(const QString& text, const QString& section, const QString& key);

} // namespace tarnlow
