// Any bytes as an update package: the reader and its validation must neither crash nor hand out
// bytes outside the file, and a package it calls sound must read whole.
#include "update/package_reader.h"

#include <QFile>
#include <QTemporaryFile>

#include <cstdint>
#include <cstdlib>

using namespace tarnlow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryFile* file = [] {
        auto* created = new QTemporaryFile(QStringLiteral("/tmp/tarnlow-fuzz-XXXXXX.fuf"));
        if (!created->open())
            std::abort();
        return created;
    }();
    file->resize(0);
    file->seek(0);
    file->write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file->flush();

    Result<PackageReader> reader = PackageReader::open(file->fileName());
    if (!reader)
        return 0;
    const bool sound = reader->problems().isEmpty();
    qint64 total = 0;
    for (int index = 1; index <= kPackageEntryCount; ++index) {
        const Result<QByteArray> bytes = reader->entryBytes(index);
        if (bytes) {
            if (bytes->size() > reader->size())
                std::abort();
            total += bytes->size();
        } else if (sound && reader->entry(index)) {
            std::abort(); // a sound package's entry must read
        }
    }
    const Result<QString> script = reader->sqlScript();
    if (sound && reader->sqlStart() > 0 && !script)
        std::abort();
    if (sound && total + reader->sqlSize() + kPackageHeaderSize != reader->size())
        std::abort(); // a sound package has no byte that nothing refers to
    return 0;
}
