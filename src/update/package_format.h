#pragma once

#include "host/result.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnlow {

// Layout of an update package (.fuf): a 256-byte header of fixed-width text fields followed by the
// contents of up to four files and an optional SQL script. Positions in the header are 1-based
// byte positions within the package; an end position is inclusive.
inline constexpr qint64 kPackageHeaderSize = 256;
inline constexpr qint64 kPackageFirstDataPosition = kPackageHeaderSize + 1;
// Largest piece moved in one read or write, so a file of any size passes through one block.
inline constexpr qint64 kPackageBlockSize = 32765;
// An 8-digit number field cannot address anything past this position.
inline constexpr qint64 kPackageMaxSize = 99999999;
inline constexpr int kPackageEntryCount = 4;

inline constexpr int kPackageLeadOffset = 0;    // the byte 0x0E
inline constexpr int kPackageVersionOffset = 1; // VER_NO, 2 bytes
inline constexpr int kPackageVersionWidth = 2;
inline constexpr int kPackageComponentOffset = 3; // COMP_NO, 3 bytes
inline constexpr int kPackageComponentWidth = 3;
inline constexpr int kPackageMarkerOffset = 6;    // the byte 0xFF
inline constexpr int kPackageSignatureOffset = 7; // 41 bytes
inline constexpr int kPackageEntriesOffset = 48;  // four entries of 48 bytes
inline constexpr int kPackageEntryWidth = 48;
inline constexpr int kPackageNumberWidth = 8;
inline constexpr int kPackageNameWidth = 32;
inline constexpr int kPackageSqlEntryOffset = 240; // 16 bytes
inline constexpr int kPackageSqlEntryWidth = 16;

inline constexpr char kPackageLeadByte = '\x0E';
inline constexpr char kPackageMarkerByte = '\xFF';

// "Fernlake Update File v1.0 CopyRight(2004)", 41 bytes without terminator.
QByteArray packageSignature();

// Offset of entry 1..4 within the header.
constexpr int packageEntryOffset(int index) {
    return kPackageEntriesOffset + (index - 1) * kPackageEntryWidth;
}

// A position as an 8-byte field: eight blanks in front of the decimal digits, the last 8 bytes kept.
QByteArray packageNumberField(qint64 value);

// Reads a number field: surrounding blanks ignored, digits only. No value for a blank field or
// one holding anything but digits.
std::optional<qint64> parsePackageNumberField(const QByteArray& field);

// The last `width` bytes of `width` zeros followed by the text (GBK bytes). An error when the text
// holds a character GBK cannot represent, or when keeping the last bytes would split a two-byte
// character. `what` names the field in the message ("version number", ...).
Result<QByteArray> packageZeroPaddedField(const QString& text, int width, const QString& what);

// The name a package stores for a path: the text after the last '\' or '/', the path itself when it
// holds neither.
QString packageFileNameOfPath(const QString& path);

// The 32-byte name field: GBK bytes of the name cut at a character boundary to at most 32 bytes and
// padded with blanks. An error naming the character when GBK cannot represent it.
Result<QByteArray> packageNameField(const QString& name);

// Why a stored name is not a plain file name (path separator, NUL or control character, only dots,
// empty once blanks are trimmed), or no value when it is one. `name` is the decoded name.
std::optional<QString> packageNameProblem(const QString& name);

// The first character of `text` that GBK cannot represent, with its 1-based line and column, or no
// value when all of it can be represented.
struct UnrepresentableCharacter {
    QString character;
    int line = 0;
    int column = 0;
};
std::optional<UnrepresentableCharacter> findUnrepresentableCharacter(const QString& text);

// "U+xxxx" of the first code point of `character`.
QString codePointText(const QString& character);

} // namespace tarnlow
