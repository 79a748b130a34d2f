#pragma once

#include <QByteArray>
#include <QString>

#include <array>

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

} // namespace tarnlow::test
