#pragma once

#include "host/result.h"

#include <QByteArray>
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

} // namespace tarnlow
