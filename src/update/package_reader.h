#pragma once

#include "host/result.h"
#include "update/package_format.h"
#include "update/script_check.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace tarnlow {

// One used file entry of a package, as its header fields read.
struct PackageEntry {
    int index = 0;        // 1..4
    qint64 start = 0;     // 1-based position of the first byte
    qint64 end = 0;       // 1-based position of the last byte, inclusive
    QByteArray nameField; // the 32-byte field as stored, trailing blanks included
    QString name;         // the name with trailing blanks removed, decoded from GBK
    // The name as stored in T_SYS_VER: the whole field decoded, trailing blanks included (a lone
    // first half of a two-byte character at its end becomes a blank).
    QString storedName;
    qint64 size() const { return end - start + 1; }
};

// What validation found wrong with a package. Callers may treat kinds differently (a foreign
// signature still leaves the fields readable; an entry outside the file does not).
enum class PackageProblemKind {
    TooShort,            // the file is shorter than its header
    LeadByte,            // byte 1 is not 0x0E
    MarkerByte,          // byte 7 is not 0xFF
    Signature,           // bytes 8..48 are not the signature
    ComponentNotNumber,  // COMP_NO holds something other than digits
    NumberField,         // a start, end or SQL field is neither blank nor a number
    EntryInHeader,       // an entry starts inside the header
    EntryEndBeforeStart, // an entry ends more than one byte before it starts
    EntryPastEnd,        // an entry reaches past the end of the file
    EntryOrder,          // an entry does not follow the previous one
    EntryName,           // a name that is not a plain file name, or not GBK text
    SqlStart,            // the SQL start lies outside the file or does not follow the entries
    TrailingBytes,       // bytes after the last piece that nothing refers to
    VersionText,         // VER_NO is not GBK text or holds control characters
    ComponentText,       // COMP_NO holds control characters
    DuplicateName,       // two entries carry the same name, or names that differ only in case
    Script,              // the script is not GBK text, or every database refuses it
};

struct PackageProblem {
    PackageProblemKind kind;
    QString text;
};

// Reads an update package by the fixed positions of its header. The header is read once; file
// contents and the script are read from the file in slices when asked for, so a package of any
// size is never held in memory whole.
class PackageReader {
public:
    // Opens the package and reads its header. An error only when the file cannot be read at all.
    static Result<PackageReader> open(const QString& path);

    QString path() const { return m_path; }
    qint64 size() const { return m_size; }
    // The header as read, padded with blanks to 256 bytes when the file is shorter.
    const QByteArray& header() const { return m_header; }

    QByteArray versionField() const;   // the 2 bytes of VER_NO
    QString versionText() const;       // VER_NO decoded from GBK
    QByteArray componentField() const; // the 3 bytes of COMP_NO
    // COMP_NO as a number (surrounding blanks ignored), or no value when it is not one.
    std::optional<int> componentNumber() const;
    // True when the lead byte, the marker byte and the signature are all as written by the builder.
    bool signatureOk() const;

    // Entry 1..4, or no value when that entry is empty (blank, zero or non-numeric start field).
    const std::optional<PackageEntry>& entry(int index) const;
    // 1-based start of the SQL script, 0 when the package carries none.
    qint64 sqlStart() const { return m_sqlStart; }
    // Bytes from the SQL start to the end of the file (0 when none or when the start lies past the end).
    qint64 sqlSize() const;

    // What every database would make of the SQL script; no value when the package carries no
    // script that can be read.
    const std::optional<ScriptVerdicts>& scriptVerdicts() const { return m_scriptVerdicts; }

    // Every validation finding, in header order; empty for a sound package.
    const QList<PackageProblem>& problems() const { return m_problems; }
    QStringList problemTexts() const;
    // True when the file does not even begin as an update package does: too short for the header,
    // or its lead byte, marker byte or signature are not those of a package.
    bool isNotAPackage() const;
    // What validation noticed that leaves the package sound (a name cut in the middle of a
    // character), for the operator to read.
    const QStringList& notes() const { return m_notes; }

    // Hands out the bytes of entry `index` in blocks of at most 32,765 bytes. Only bytes that exist
    // in the file are handed out; a slice reaching past the end is an error after the bytes that exist.
    // The sink may stop the reading by returning a failed status, which is passed on.
    using BlockSink = std::function<Result<void>(const QByteArray& block)>;
    Result<void> readEntry(int index, const BlockSink& sink) const;
    // The entry's bytes in one array; an entry of no bytes gives an empty, non-null array.
    Result<QByteArray> entryBytes(int index) const;

    // The SQL script: its GBK bytes, and the text decoded from them.
    Result<void> readSqlScript(const BlockSink& sink) const;
    Result<QByteArray> sqlScriptBytes() const;
    Result<QString> sqlScript() const;

private:
    PackageReader() = default;
    void readFields();
    void validate();
    void validatePieces();
    void validateTexts();
    void addProblem(PackageProblemKind kind, const QString& text);
    Result<void> readSlice(qint64 start, qint64 length, const QString& what, const BlockSink& sink) const;

    QString m_path;
    qint64 m_size = 0;
    QByteArray m_header;
    std::array<std::optional<PackageEntry>, kPackageEntryCount> m_entries;
    qint64 m_sqlStart = 0;
    QList<PackageProblem> m_problems;
    QStringList m_notes;
    std::optional<ScriptVerdicts> m_scriptVerdicts;
};

} // namespace tarnlow
