#include "update/package_reader.h"

#include "host/code_page.h"
#include "host/shown_text.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tarnlow {
namespace {

// Header bytes as readable text: printable ASCII as is, everything else as \xNN.
QString visibleBytes(const QByteArray& bytes) {
    QString text;
    for (char c : bytes) {
        const auto value = static_cast<unsigned char>(c);
        if (value >= 0x20 && value < 0x7F)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x") +
                    QString::number(value, 16).rightJustified(2, QLatin1Char('0')).toUpper();
    }
    return text;
}

QString hexByte(char c) {
    return QStringLiteral("0x") +
           QString::number(static_cast<unsigned char>(c), 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

bool holdsControlBytes(const QByteArray& bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto value = static_cast<unsigned char>(c);
        return value < 0x20 || value == 0x7F;
    });
}

QByteArray withoutTrailingBlanks(QByteArray bytes) {
    while (bytes.endsWith(' '))
        bytes.chop(1);
    return bytes;
}

} // namespace

Result<PackageReader> PackageReader::open(const QString& path) {
    QFile file(path);
    if (QFileInfo(path).isDir())
        return Error{QStringLiteral("%1 is a folder, not an update package").arg(path)};
    if (!file.open(QIODevice::ReadOnly))
        return Error{
            QStringLiteral("the update package %1 cannot be opened: %2").arg(path, file.errorString())};
    PackageReader reader;
    reader.m_path = path;
    reader.m_size = file.size();
    reader.m_header = file.read(kPackageHeaderSize);
    if (reader.m_header.size() < std::min(reader.m_size, kPackageHeaderSize))
        return Error{
            QStringLiteral("the update package %1 cannot be read: %2").arg(path, file.errorString())};
    if (reader.m_size < kPackageHeaderSize) {
        reader.addProblem(
            PackageProblemKind::TooShort,
            QStringLiteral("the file is %1 bytes long, shorter than the 256-byte header").arg(reader.m_size));
        reader.m_header += QByteArray(kPackageHeaderSize - reader.m_header.size(), ' ');
    }
    reader.readFields();
    reader.validate();
    return reader;
}

bool PackageReader::isNotAPackage() const {
    return std::any_of(m_problems.begin(), m_problems.end(), [](const PackageProblem& problem) {
        switch (problem.kind) {
        case PackageProblemKind::TooShort:
        case PackageProblemKind::LeadByte:
        case PackageProblemKind::MarkerByte:
        case PackageProblemKind::Signature:
            return true;
        default:
            return false;
        }
    });
}

QByteArray PackageReader::versionField() const {
    return m_header.mid(kPackageVersionOffset, kPackageVersionWidth);
}

QString PackageReader::versionText() const {
    Result<QString> text = fromSystemCodePage(versionField());
    return text ? *text : QString::fromLatin1(versionField());
}

QByteArray PackageReader::componentField() const {
    return m_header.mid(kPackageComponentOffset, kPackageComponentWidth);
}

std::optional<int> PackageReader::componentNumber() const {
    const std::optional<qint64> number = parsePackageNumberField(componentField());
    return number ? std::optional<int>(static_cast<int>(*number)) : std::nullopt;
}

bool PackageReader::signatureOk() const {
    return m_header.at(kPackageLeadOffset) == kPackageLeadByte &&
           m_header.at(kPackageMarkerOffset) == kPackageMarkerByte &&
           m_header.mid(kPackageSignatureOffset, packageSignature().size()) == packageSignature();
}

const std::optional<PackageEntry>& PackageReader::entry(int index) const {
    static const std::optional<PackageEntry> none;
    if (index < 1 || index > kPackageEntryCount)
        return none;
    return m_entries.at(static_cast<size_t>(index - 1));
}

qint64 PackageReader::sqlSize() const {
    if (m_sqlStart <= 0 || m_sqlStart > m_size)
        return 0;
    return m_size - m_sqlStart + 1;
}

QStringList PackageReader::problemTexts() const {
    QStringList texts;
    for (const PackageProblem& problem : m_problems)
        texts.append(problem.text);
    return texts;
}

void PackageReader::addProblem(PackageProblemKind kind, const QString& text) {
    m_problems.append(PackageProblem{kind, text});
}

void PackageReader::readFields() {
    for (int index = 1; index <= kPackageEntryCount; ++index) {
        const int offset = packageEntryOffset(index);
        const QByteArray startField = m_header.mid(offset, kPackageNumberWidth);
        const QByteArray endField = m_header.mid(offset + kPackageNumberWidth, kPackageNumberWidth);
        const std::optional<qint64> start = parsePackageNumberField(startField);
        if (!start) {
            if (!startField.trimmed().isEmpty())
                addProblem(
                    PackageProblemKind::NumberField,
                    QStringLiteral("entry %1: the start field \"%2\" is not a number; the entry is read as "
                                   "empty")
                        .arg(index)
                        .arg(visibleBytes(startField)));
            continue;
        }
        if (*start == 0)
            continue;
        PackageEntry entry;
        entry.index = index;
        entry.start = *start;
        if (const std::optional<qint64> end = parsePackageNumberField(endField)) {
            entry.end = *end;
        } else {
            addProblem(PackageProblemKind::NumberField,
                       QStringLiteral("entry %1: the end field \"%2\" is not a number")
                           .arg(index)
                           .arg(visibleBytes(endField)));
            entry.end = entry.start - 1;
        }
        entry.nameField = m_header.mid(offset + 2 * kPackageNumberWidth, kPackageNameWidth);
        const QByteArray nameBytes = withoutTrailingBlanks(entry.nameField);
        Result<QString> name = fromSystemCodePage(nameBytes);
        QByteArray storedField = entry.nameField;
        // A name cut after its 32nd byte may end in the first half of a two-byte character, which
        // no text can hold: the name is read without it, and stored with a blank in its place so
        // that the field keeps its width.
        if (!name && nameBytes.size() == kPackageNameWidth) {
            name = fromSystemCodePage(nameBytes.left(kPackageNameWidth - 1));
            if (name) {
                storedField.back() = ' ';
                m_notes.append(QStringLiteral("entry %1: the name ends in the byte 0x%2, the first half of a "
                                              "two-byte character cut off at the 32nd byte; the name is read "
                                              "and stored without it, as \"%3\"")
                                   .arg(index)
                                   .arg(QString::number(static_cast<uchar>(nameBytes.back()), 16).toUpper())
                                   .arg(shownName(*name)));
            }
        }
        if (name) {
            entry.name = *name;
            const Result<QString> stored = fromSystemCodePage(storedField);
            entry.storedName = stored ? *stored : *name;
            if (const auto problem = packageNameProblem(entry.name))
                addProblem(PackageProblemKind::EntryName,
                           QStringLiteral("entry %1: the name \"%2\" is not a plain file name: it %3")
                               .arg(index)
                               .arg(shownName(entry.name), *problem));
        } else {
            entry.name = QString::fromLatin1(nameBytes);
            addProblem(PackageProblemKind::EntryName,
                       QStringLiteral("entry %1: the name \"%2\" is not GBK text")
                           .arg(index)
                           .arg(visibleBytes(nameBytes)));
        }
        m_entries.at(static_cast<size_t>(index - 1)) = entry;
    }

    const QByteArray sqlField = m_header.mid(kPackageSqlEntryOffset, kPackageNumberWidth);
    if (const std::optional<qint64> sqlStart = parsePackageNumberField(sqlField))
        m_sqlStart = *sqlStart;
    else if (!sqlField.trimmed().isEmpty())
        addProblem(
            PackageProblemKind::NumberField,
            QStringLiteral("the SQL start field \"%1\" is not a number; the package is read as carrying no "
                           "script")
                .arg(visibleBytes(sqlField)));
}

// The lead byte, the marker and the signature, then the pieces and the texts.
void PackageReader::validate() {
    if (m_header.at(kPackageLeadOffset) != kPackageLeadByte)
        addProblem(
            PackageProblemKind::LeadByte,
            QStringLiteral("byte 1 is %1, expected 0x0E").arg(hexByte(m_header.at(kPackageLeadOffset))));
    if (m_header.at(kPackageMarkerOffset) != kPackageMarkerByte)
        addProblem(
            PackageProblemKind::MarkerByte,
            QStringLiteral("byte 7 is %1, expected 0xFF").arg(hexByte(m_header.at(kPackageMarkerOffset))));
    const QByteArray signature = m_header.mid(kPackageSignatureOffset, packageSignature().size());
    if (signature != packageSignature())
        addProblem(PackageProblemKind::Signature,
                   QStringLiteral("bytes 8-48 read \"%1\", expected \"%2\"")
                       .arg(visibleBytes(signature), QString::fromLatin1(packageSignature())));
    if (!componentNumber())
        addProblem(PackageProblemKind::ComponentNotNumber,
                   QStringLiteral("the component number \"%1\" is not a number")
                       .arg(visibleBytes(componentField())));
    validatePieces();
    validateTexts();
}

// The entries and the script must follow the header and each other without gap or overlap, and
// nothing may follow the last of them.
void PackageReader::validatePieces() {
    qint64 previousEnd = kPackageHeaderSize;
    QString previousPiece = QStringLiteral("the header");
    for (const std::optional<PackageEntry>& entry : m_entries) {
        if (!entry)
            continue;
        const qint64 start = entry->start;
        const qint64 end = entry->end;
        const int index = entry->index;
        if (start <= kPackageHeaderSize)
            addProblem(
                PackageProblemKind::EntryInHeader,
                QStringLiteral("entry %1 starts at %2, inside the 256-byte header").arg(index).arg(start));
        if (end < start - 1) {
            addProblem(
                PackageProblemKind::EntryEndBeforeStart,
                QStringLiteral("entry %1 ends at %2, before its start %3").arg(index).arg(end).arg(start));
            continue;
        }
        if (end > m_size)
            addProblem(PackageProblemKind::EntryPastEnd,
                       QStringLiteral("entry %1 (bytes %2-%3) reaches past the end of the file (%4 bytes)")
                           .arg(index)
                           .arg(start)
                           .arg(end)
                           .arg(m_size));
        if (start > kPackageHeaderSize && start <= previousEnd)
            addProblem(PackageProblemKind::EntryOrder,
                       QStringLiteral("entry %1 starts at %2, inside %3, which ends at %4")
                           .arg(index)
                           .arg(start)
                           .arg(previousPiece)
                           .arg(previousEnd));
        else if (start > previousEnd + 1)
            addProblem(
                PackageProblemKind::EntryOrder,
                QStringLiteral("entry %1 starts at %2, leaving bytes %3-%4 after %5 that no entry refers to")
                    .arg(index)
                    .arg(start)
                    .arg(previousEnd + 1)
                    .arg(start - 1)
                    .arg(previousPiece));
        if (end > previousEnd) {
            previousEnd = end;
            previousPiece = QStringLiteral("entry %1").arg(index);
        }
    }

    if (m_sqlStart > 0) {
        if (m_sqlStart > m_size)
            addProblem(PackageProblemKind::SqlStart,
                       QStringLiteral("the SQL script starts at %1, past the end of the file (%2 bytes)")
                           .arg(m_sqlStart)
                           .arg(m_size));
        else if (m_sqlStart != previousEnd + 1)
            addProblem(PackageProblemKind::SqlStart,
                       QStringLiteral("the SQL script starts at %1, but %2 ends at %3")
                           .arg(m_sqlStart)
                           .arg(previousPiece)
                           .arg(previousEnd));
    } else if (m_size > previousEnd) {
        addProblem(PackageProblemKind::TrailingBytes,
                   QStringLiteral("bytes %1-%2 follow %3 but no entry refers to them")
                       .arg(previousEnd + 1)
                       .arg(m_size)
                       .arg(previousPiece));
    }
}

// The texts the import stores or runs, checked here so that every reader of a package (inspect,
// the import, the update window) refuses the same packages.
void PackageReader::validateTexts() {
    const QByteArray version = versionField();
    if (holdsControlBytes(version))
        addProblem(
            PackageProblemKind::VersionText,
            QStringLiteral("the version number \"%1\" holds control characters").arg(visibleBytes(version)));
    else if (Result<QString> text = fromSystemCodePage(version); !text)
        addProblem(PackageProblemKind::VersionText,
                   QStringLiteral("the version number \"%1\" is not GBK text: %2")
                       .arg(visibleBytes(version), text.error()));
    if (holdsControlBytes(componentField()))
        addProblem(PackageProblemKind::ComponentText,
                   QStringLiteral("the component number \"%1\" holds control characters")
                       .arg(visibleBytes(componentField())));

    // Every entry becomes one file of the program folder; two entries of one name (in any case,
    // since the folder may be on a file system that ignores it) would overwrite each other.
    for (int first = 1; first <= kPackageEntryCount; ++first) {
        const std::optional<PackageEntry>& one = entry(first);
        if (!one)
            continue;
        for (int second = first + 1; second <= kPackageEntryCount; ++second) {
            const std::optional<PackageEntry>& other = entry(second);
            if (other && one->name.compare(other->name, Qt::CaseInsensitive) == 0)
                addProblem(
                    PackageProblemKind::DuplicateName,
                    QStringLiteral("entries %1 and %2 carry the same file name \"%3\"%4")
                        .arg(first)
                        .arg(second)
                        .arg(shownName(one->name))
                        .arg(
                            one->name == other->name
                                ? QString()
                                : QStringLiteral(" and \"%1\", which differ only in case").arg(other->name)));
        }
    }

    if (m_sqlStart <= 0 || m_sqlStart > m_size)
        return;
    Result<QString> script = sqlScript();
    if (!script) {
        addProblem(PackageProblemKind::Script, script.error());
        return;
    }
    // A script that some database runs is sound; the import judges it for the database it reaches.
    ScriptVerdicts verdicts = judgeScriptEverywhere(*script);
    if (verdicts.refusedEverywhere())
        addProblem(PackageProblemKind::Script, QStringLiteral("the SQL script is ") + verdicts.explained());
    m_scriptVerdicts = std::move(verdicts);
}

Result<void> PackageReader::readSlice(qint64 start, qint64 length, const QString& what,
                                      const BlockSink& sink) const {
    if (length < 0)
        return Error{QStringLiteral("%1 of %2 ends before it starts").arg(what, m_path)};
    if (start < 1 || start - 1 + length > m_size)
        return Error{QStringLiteral("%1 of %2 (bytes %3-%4) lies outside the file (%5 bytes)")
                         .arg(what, m_path)
                         .arg(start)
                         .arg(start + length - 1)
                         .arg(m_size)};
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{
            QStringLiteral("the update package %1 cannot be opened: %2").arg(m_path, file.errorString())};
    if (!file.seek(start - 1))
        return Error{
            QStringLiteral("the update package %1 cannot be read: %2").arg(m_path, file.errorString())};
    QByteArray block;
    for (qint64 done = 0; done < length;) {
        const qint64 wanted = std::min(kPackageBlockSize, length - done);
        block.resize(static_cast<qsizetype>(wanted));
        const qint64 got = file.read(block.data(), wanted);
        if (got <= 0)
            return Error{
                QStringLiteral("the update package %1 ended or failed while reading %2: %3")
                    .arg(m_path, what, got < 0 ? file.errorString() : QStringLiteral("unexpected end"))};
        block.resize(static_cast<qsizetype>(got));
        if (Result<void> status = sink(block); !status)
            return status;
        done += got;
    }
    return Result<void>();
}

Result<void> PackageReader::readEntry(int index, const BlockSink& sink) const {
    const std::optional<PackageEntry>& found = entry(index);
    if (!found)
        return Error{QStringLiteral("entry %1 of %2 is empty").arg(index).arg(m_path)};
    return readSlice(found->start, found->size(), QStringLiteral("entry %1").arg(index), sink);
}

Result<QByteArray> PackageReader::entryBytes(int index) const {
    // Empty but not null: a file of no bytes is still a file, and a null array would be stored as
    // SQL NULL.
    QByteArray bytes("", 0);
    if (const std::optional<PackageEntry>& found = entry(index); found && found->size() > 0)
        bytes.reserve(static_cast<qsizetype>(std::min(found->size(), m_size)));
    Result<void> status = readEntry(index, [&bytes](const QByteArray& block) {
        bytes += block;
        return Result<void>();
    });
    if (!status)
        return Error{status.error()};
    return bytes;
}

Result<void> PackageReader::readSqlScript(const BlockSink& sink) const {
    if (m_sqlStart <= 0)
        return Result<void>();
    return readSlice(m_sqlStart, m_size - m_sqlStart + 1, QStringLiteral("the SQL script"), sink);
}

Result<QByteArray> PackageReader::sqlScriptBytes() const {
    QByteArray bytes;
    Result<void> status = readSqlScript([&bytes](const QByteArray& block) {
        bytes += block;
        return Result<void>();
    });
    if (!status)
        return Error{status.error()};
    return bytes;
}

Result<QString> PackageReader::sqlScript() const {
    Result<QByteArray> bytes = sqlScriptBytes();
    if (!bytes)
        return Error{bytes.error()};
    Result<QString> text = fromSystemCodePage(*bytes);
    if (!text)
        return Error{QStringLiteral("the SQL script of %1 is not GBK text: %2").arg(m_path, text.error())};
    return text;
}

} // namespace tarnlow
