#pragma once

#include "host/result.h"

#include <QFile>
#include <QString>

#include <memory>

namespace tarnlow {

class PackageReader;

// Reads the bytes of one entry of a package in order, as much at a time as the caller asks for,
// so that an entry of any size is streamed into the database without being held whole.
class PackageEntryStream {
public:
    // An error when the entry is empty or the package cannot be opened or positioned.
    static Result<PackageEntryStream> open(const PackageReader& package, int index);

    qint64 size() const { return m_size; }
    // Fills up to `capacity` bytes and returns how many; 0 once the entry's bytes are all read. An
    // error when the file ends early or fails.
    Result<qint64> read(char* buffer, qint64 capacity);

private:
    PackageEntryStream() = default;

    std::unique_ptr<QFile> m_file;
    QString m_what;
    qint64 m_size = 0;
    qint64 m_remaining = 0;
};

} // namespace tarnlow
