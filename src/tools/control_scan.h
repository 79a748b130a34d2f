#pragma once

#include "host/result.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>

namespace tarnlow {

// Files are read in pieces of at most this many bytes.
inline constexpr qint64 kScanPieceSize = 32765;

// The first occurrence of one control character code (1 to 31).
struct ControlFinding {
    int code = 0;
    qint64 position = 0; // 1-based byte position in the file
};

struct ControlScanReport {
    qint64 size = 0;
    int pieces = 0;                 // pieces read
    QList<ControlFinding> findings; // in ascending order of code
};

// Called after each piece with the bytes read so far and the file's size.
using ControlScanProgress = std::function<void(qint64 bytesRead, qint64 size)>;

// Finds, for each code 1 to 31, the byte position of its first occurrence in the file. The file
// is read piece by piece, each piece positioned at its offset from the start; a zero byte is an
// ordinary byte and hides nothing after it. Codes 1 to 31 never occur inside a GBK or UTF-8
// multi-byte character, so byte positions are where the characters are. An unreadable file, or
// one that becomes shorter while it is read, is an error; stop ends the scan with an error too.
Result<ControlScanReport> scanControlCharacters(const QString& path, const ControlScanProgress& progress = {},
                                                const std::atomic_bool* stop = nullptr);

} // namespace tarnlow
