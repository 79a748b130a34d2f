#pragma once

#include "host/result.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tarnlow {

// The text of the settings file as lines, so that a change touches only the lines of the values
// it changes. Every other line (comments, blank lines, lines before the first section, lines that
// are not UTF-8 or not understood at all) stays byte for byte as it was, including its line end.
//
// Sections are "[key]" lines, values "name=value" lines; both are percent-escaped so that any
// character survives (see escapeSettingsText). A key or value name that occurs twice is read and
// changed at its first occurrence.
class SettingsDocument {
public:
    static SettingsDocument parse(const QByteArray& bytes);

    QByteArray bytes() const;

    std::optional<QString> value(const QString& key, const QString& name) const;
    QStringList valueNames(const QString& key) const;

    // Sets each value, adding the section and the values that do not exist yet. Refused, with
    // the line that is in the way and nothing changed, where a change could lose data: a line
    // that starts a section but is not one (the values below it belong to no known section), or
    // the value's own line when it is not UTF-8 text.
    Result<void> set(const QString& key, const QList<QPair<QString, QString>>& values);

private:
    struct Line {
        enum Kind { Section, Value, Kept } kind = Kept;
        QByteArray bytes;       // the line as stored, without its line end
        QByteArray end;         // "\n", "\r\n" or empty for a last line without one
        QString key;            // a section's key
        QString name;           // a value's name
        QString value;          // a value's text
        bool damaged = false;   // a Kept line that starts with '[' but is no section
        bool undecoded = false; // a Kept line that is not UTF-8 text
        QByteArray rawName;     // the bytes before '=' of an undecoded line
    };

    // Index of the section line of the key, or -1.
    qsizetype sectionLine(const QString& key) const;
    // Index of the value's line inside the section that starts at sectionIndex, or -1; the index
    // after the section's last value line in insertAt.
    qsizetype valueLine(qsizetype sectionIndex, const QString& name, qsizetype* insertAt) const;
    QByteArray lineEnd() const;
    static void endLine(Line& line, const QByteArray& end);

    std::vector<Line> m_lines;
};

// Percent-escapes control characters, '%', a leading byte-order mark and blanks at either end
// (names also '=', '[', ']' and a leading ';') so that every text survives the file exactly.
QString escapeSettingsText(const QString& text, bool inName);
QString unescapeSettingsText(QStringView text);

} // namespace tarnlow
