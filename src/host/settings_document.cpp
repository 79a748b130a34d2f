#include "host/settings_document.h"

#include <QStringDecoder>

namespace tarnlow {
namespace {

bool needsEscape(QChar c, bool inName) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || u == u'%' || c.isSurrogate())
        return true;
    return inName && (u == u'=' || u == u'[' || u == u']' || u == u';');
}

// The text of a whole line when it is valid UTF-8, or no value.
std::optional<QString> decodedLine(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

// Gives a last line without a line end one. A CR at the end of such a line belongs to it, and
// stays there only when the end added is CR LF.
void SettingsDocument::endLine(Line& line, const QByteArray& end) {
    if (!line.end.isEmpty())
        return;
    line.end = line.bytes.endsWith('\r') ? QByteArray("\r\n") : end;
}

QString escapeSettingsText(const QString& text, bool inName) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool edgeBlank = c == QLatin1Char(' ') && (i == 0 || i == text.size() - 1);
        // A reader of the file may take a leading byte-order mark for an encoding mark and drop it.
        const bool leadingMark = i == 0 && c.unicode() == 0xFEFF;
        if (edgeBlank || leadingMark || needsEscape(c, inName)) {
            if (c.unicode() > 0xFF)
                out += QStringLiteral("%u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

QString unescapeSettingsText(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%') && i + 5 < text.size() && text.at(i + 1) == QLatin1Char('u')) {
            bool ok = false;
            const ushort code = text.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 5;
                continue;
            }
        }
        if (c == QLatin1Char('%') && i + 2 < text.size()) {
            bool ok = false;
            const ushort code = text.mid(i + 1, 2).toUShort(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    return out;
}

SettingsDocument SettingsDocument::parse(const QByteArray& bytes) {
    SettingsDocument document;
    bool inSection = false;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype newline = bytes.indexOf('\n', start);
        Line line;
        if (newline < 0) {
            line.bytes = bytes.mid(start);
            start = bytes.size();
        } else {
            line.bytes = bytes.mid(start, newline - start);
            line.end = "\n";
            start = newline + 1;
        }
        // Only CR LF is a line end; a lone CR (here at the end of the file) is part of the line.
        if (!line.end.isEmpty() && line.bytes.endsWith('\r')) {
            line.bytes.chop(1);
            line.end.prepend('\r');
        }

        const std::optional<QString> text = decodedLine(line.bytes);
        if (!text) {
            line.undecoded = true;
            const qsizetype equals = line.bytes.indexOf('=');
            line.rawName = equals < 0 ? QByteArray() : line.bytes.left(equals);
            line.damaged = line.bytes.startsWith('[');
        } else if (text->startsWith(QLatin1Char('['))) {
            if (text->endsWith(QLatin1Char(']')) && text->size() >= 2) {
                line.kind = Line::Section;
                line.key = unescapeSettingsText(QStringView(*text).mid(1, text->size() - 2));
                inSection = true;
            } else {
                line.damaged = true;
            }
        } else if (!text->isEmpty() && !text->startsWith(QLatin1Char(';')) && inSection) {
            const qsizetype equals = text->indexOf(QLatin1Char('='));
            if (equals >= 0) {
                line.kind = Line::Value;
                line.name = unescapeSettingsText(QStringView(*text).left(equals));
                line.value = unescapeSettingsText(QStringView(*text).mid(equals + 1));
            }
        }
        document.m_lines.push_back(std::move(line));
    }
    return document;
}

QByteArray SettingsDocument::bytes() const {
    QByteArray out;
    for (const Line& line : m_lines)
        out += line.bytes + line.end;
    return out;
}

qsizetype SettingsDocument::sectionLine(const QString& key) const {
    for (qsizetype i = 0; i < static_cast<qsizetype>(m_lines.size()); ++i)
        if (m_lines[static_cast<size_t>(i)].kind == Line::Section &&
            m_lines[static_cast<size_t>(i)].key == key)
            return i;
    return -1;
}

qsizetype SettingsDocument::valueLine(qsizetype sectionIndex, const QString& name,
                                      qsizetype* insertAt) const {
    qsizetype afterLastValue = sectionIndex + 1;
    for (qsizetype i = sectionIndex + 1; i < static_cast<qsizetype>(m_lines.size()); ++i) {
        const Line& line = m_lines[static_cast<size_t>(i)];
        if (line.kind == Line::Section || line.damaged)
            break;
        if (line.kind == Line::Value) {
            if (line.name == name)
                return i;
            afterLastValue = i + 1;
        }
    }
    if (insertAt)
        *insertAt = afterLastValue;
    return -1;
}

std::optional<QString> SettingsDocument::value(const QString& key, const QString& name) const {
    // A key written twice by hand: its first section holding the name wins.
    for (qsizetype i = 0; i < static_cast<qsizetype>(m_lines.size()); ++i) {
        const Line& line = m_lines[static_cast<size_t>(i)];
        if (line.kind != Line::Section || line.key != key)
            continue;
        const qsizetype found = valueLine(i, name, nullptr);
        if (found >= 0) {
            const QString& text = m_lines[static_cast<size_t>(found)].value;
            // A stored empty value stays distinguishable from a missing one.
            return text.isNull() ? QString(QLatin1String("")) : text;
        }
    }
    return std::nullopt;
}

QStringList SettingsDocument::valueNames(const QString& key) const {
    QStringList names;
    bool inKey = false;
    for (const Line& line : m_lines) {
        if (line.kind == Line::Section)
            inKey = line.key == key;
        else if (line.damaged)
            inKey = false;
        else if (inKey && line.kind == Line::Value && !names.contains(line.name))
            names.append(line.name);
    }
    return names;
}

QByteArray SettingsDocument::lineEnd() const {
    for (const Line& line : m_lines)
        if (!line.end.isEmpty())
            return line.end;
    return "\n";
}

Result<void> SettingsDocument::set(const QString& key, const QList<QPair<QString, QString>>& values) {
    for (qsizetype i = 0; i < static_cast<qsizetype>(m_lines.size()); ++i) {
        const Line& line = m_lines[static_cast<size_t>(i)];
        if (line.damaged)
            return Error{QStringLiteral("line %1 starts a section but is not one (\"[name]\" expected); the "
                                        "values below it belong to no known section")
                             .arg(i + 1)};
        if (line.undecoded && !line.rawName.isEmpty()) {
            const std::optional<QString> rawName = decodedLine(line.rawName);
            for (const auto& [name, text] : values) {
                Q_UNUSED(text);
                if (rawName && unescapeSettingsText(*rawName) == name)
                    return Error{
                        QStringLiteral("line %1 holds the value %2 but is not UTF-8 text; it is kept as "
                                       "it is")
                            .arg(i + 1)
                            .arg(name)};
            }
        }
    }

    SettingsDocument changed = *this;
    const QByteArray end = lineEnd();
    for (const auto& [name, text] : values) {
        const QByteArray stored =
            (escapeSettingsText(name, true) + QLatin1Char('=') + escapeSettingsText(text, false)).toUtf8();
        qsizetype section = -1;
        qsizetype found = -1;
        for (qsizetype i = 0; i < static_cast<qsizetype>(changed.m_lines.size()) && found < 0; ++i) {
            const Line& line = changed.m_lines[static_cast<size_t>(i)];
            if (line.kind != Line::Section || line.key != key)
                continue;
            if (section < 0)
                section = i;
            found = changed.valueLine(i, name, nullptr);
        }
        Line line;
        line.kind = Line::Value;
        line.bytes = stored;
        line.end = end;
        line.name = name;
        line.value = text;
        if (found >= 0) {
            line.end = changed.m_lines[static_cast<size_t>(found)].end;
            if (line.end.isEmpty())
                line.end = end;
            changed.m_lines[static_cast<size_t>(found)] = line;
            continue;
        }
        if (section < 0) {
            // A new section goes after the last line, which needs its line end first.
            if (!changed.m_lines.empty())
                endLine(changed.m_lines.back(), end);
            if (!changed.m_lines.empty() && !changed.m_lines.back().bytes.isEmpty()) {
                Line blank;
                blank.end = end;
                changed.m_lines.push_back(blank);
            }
            Line header;
            header.kind = Line::Section;
            header.key = key;
            header.bytes = (QLatin1Char('[') + escapeSettingsText(key, true) + QLatin1Char(']')).toUtf8();
            header.end = end;
            changed.m_lines.push_back(header);
            section = static_cast<qsizetype>(changed.m_lines.size()) - 1;
        }
        qsizetype insertAt = section + 1;
        changed.valueLine(section, name, &insertAt);
        if (insertAt > 0)
            endLine(changed.m_lines[static_cast<size_t>(insertAt - 1)], end);
        changed.m_lines.insert(changed.m_lines.begin() + insertAt, line);
    }
    *this = std::move(changed);
    return Result<void>();
}

} // namespace tarnlow
