#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace tarnlow::test {

// Package bytes assembled field by field in the tests, independently of the writer, so that the
// writer's output and the reader's input are checked against the layout itself.

// Right-aligned 8-byte number field.
inline QByteArray field8(qint64 value) {
    QByteArray digits = QByteArray::number(value);
    return QByteArray(8 - digits.size(), ' ') + digits;
}

// A used 48-byte entry: start, end and the name padded to 32 bytes.
inline QByteArray usedEntry(qint64 start, qint64 end, const QByteArray& name) {
    return field8(start) + field8(end) + name + QByteArray(32 - name.size(), ' ');
}

inline QByteArray blankEntry() {
    return QByteArray(48, ' ');
}

// The 256-byte header: lead byte, the 2- and 3-byte number texts, marker, signature, four entries,
// the SQL entry (blank when sqlStart is 0).
inline QByteArray headerBytes(const QByteArray& ver, const QByteArray& comp,
                              const std::array<QByteArray, 4>& entries, qint64 sqlStart) {
    QByteArray header;
    header += '\x0E';
    header += ver;
    header += comp;
    header += '\xFF';
    header += QByteArray("Fernlake Update File v1.0 CopyRight(2004)");
    for (const QByteArray& entry : entries)
        header += entry;
    header += sqlStart > 0 ? field8(sqlStart) + QByteArray(8, ' ') : QByteArray(16, ' ');
    return header;
}

// Deterministic content of a given size, different for each seed.
inline QByteArray patternBytes(qint64 size, int seed) {
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    quint32 state = 2166136261u ^ static_cast<quint32>(seed);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        state = state * 16777619u + 12345u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

// One file entry of a test package; an entry without a value stays blank.
struct PackageFileSpec {
    QByteArray name; // up to 32 bytes; padded with blanks in the header
    QByteArray bytes;
};

// Package bytes laid out field by field: the used entries back to back from position 257, then
// the script.
inline QByteArray buildPackage(const QByteArray& version, const QByteArray& component,
                               const std::array<std::optional<PackageFileSpec>, 4>& files,
                               const QByteArray& script = {}) {
    std::array<QByteArray, 4> entries;
    QByteArray data;
    qint64 position = 257;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i]) {
            entries[i] = blankEntry();
            continue;
        }
        const qint64 size = files[i]->bytes.size();
        entries[i] = usedEntry(position, position + size - 1, files[i]->name);
        data += files[i]->bytes;
        position += size;
    }
    const qint64 sqlStart = script.isEmpty() ? 0 : position;
    return headerBytes(version, component, entries, sqlStart) + data + script;
}

} // namespace tarnlow::test
