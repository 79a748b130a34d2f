#include "update/package_entry_stream.h"

#include "update/package_reader.h"

#include <algorithm>

namespace tarnlow {

Result<PackageEntryStream> PackageEntryStream::open(const PackageReader& package, int index) {
    const std::optional<PackageEntry>& found = package.entry(index);
    if (!found)
        return Error{QStringLiteral("entry %1 of %2 is empty").arg(index).arg(package.path())};
    if (found->size() < 0 || found->start < 1 || found->start - 1 + found->size() > package.size())
        return Error{QStringLiteral("entry %1 of %2 lies outside the file").arg(index).arg(package.path())};
    PackageEntryStream stream;
    stream.m_file = std::make_unique<QFile>(package.path());
    stream.m_what = QStringLiteral("entry %1").arg(index);
    stream.m_size = found->size();
    stream.m_remaining = found->size();
    if (!stream.m_file->open(QIODevice::ReadOnly))
        return Error{QStringLiteral("the update package %1 cannot be opened: %2")
                         .arg(package.path(), stream.m_file->errorString())};
    if (!stream.m_file->seek(found->start - 1))
        return Error{QStringLiteral("the update package %1 cannot be read: %2")
                         .arg(package.path(), stream.m_file->errorString())};
    return stream;
}

Result<qint64> PackageEntryStream::read(char* buffer, qint64 capacity) {
    const qint64 wanted = std::min(capacity, m_remaining);
    if (wanted <= 0)
        return qint64{0};
    const qint64 got = m_file->read(buffer, wanted);
    if (got <= 0)
        return Error{QStringLiteral("the update package %1 ended or failed while reading %2: %3")
                         .arg(m_file->fileName(), m_what,
                              got < 0 ? m_file->errorString() : QStringLiteral("unexpected end"))};
    m_remaining -= got;
    return got;
}

} // namespace tarnlow
