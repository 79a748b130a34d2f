#pragma once

#include "host/result.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarnlow {

// Conversion between the program's text and the system code page (GBK), which package files
// and the password scrambler use. Text that GBK cannot represent is an error naming the character,
// never silently replaced.
Result<QByteArray> toSystemCodePage(const QString& text);
Result<QString> fromSystemCodePage(const QByteArray& bytes);

// True when the bytes are well-formed UTF-8 (an empty array counts as valid).
bool isValidUtf8(const QByteArray& bytes);

// Decodes a text file: UTF-8 when it starts with a UTF-8 byte-order mark or is valid UTF-8,
// GBK otherwise; an error when it is neither.
Result<QString> decodeTextFile(const QByteArray& bytes);

// A text file decoded line by line, for files where one damaged line must not cost the others.
struct DecodedLines {
    QString text;             // the file's lines joined by line feeds
    QList<int> badLines;      // 1-based numbers of the lines left out, ascending
    bool anyLineRead = false; // some line that is not blank was decoded
};

// Decodes a whole file as decodeTextFile does when it can. Otherwise each line is decoded on its
// own in the file's encoding (UTF-8 after a byte-order mark; else the one more of its lines are
// written in, UTF-8 on a tie), and a line that is not text in it stays empty, or, when it opens a
// section, opens one that no name matches, so that the keys below it are not taken for those of
// the section before.
DecodedLines decodeTextFileByLines(const QByteArray& bytes);

} // namespace tarnlow
