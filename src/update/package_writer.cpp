#include "update/package_writer.h"

#include "host/code_page.h"
#include "host/shown_text.h"
#include "update/package_messages.h"
#include "update/script_check.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#if defined(Q_OS_LINUX)
#include <unistd.h>
#endif

namespace tarnlow {
namespace {

NumberedMessage failure(int message, QStringList parameters) {
    return NumberedMessage{message, std::move(parameters)};
}

// 100000001 as "100,000,001".
QString groupedNumber(qint64 value) {
    QString digits = QString::number(value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return digits;
}

QString entryText(int index) {
    return QString::number(index);
}

// Opens the file once to be sure it can be read, and reports its size.
Result<qint64, NumberedMessage> readableFileSize(const QString& path, int index) {
    const QFileInfo info(path);
    QString reason;
    if (!info.exists())
        reason = QStringLiteral("no such file");
    else if (info.isDir())
        reason = QStringLiteral("it is a folder");
    else if (!info.isFile())
        reason = QStringLiteral("it is not a regular file");
    if (reason.isEmpty()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            reason = file.errorString();
        else
            return info.size();
    }
    return failure(kMsgPackageFileUnreadable, {path, entryText(index), reason});
}

std::optional<QString> controlCharacterIn(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("it holds the control character %1").arg(codePointText(c));
    return std::nullopt;
}

Result<QByteArray, NumberedMessage> versionField(const QString& text) {
    if (const std::optional<QString> control = controlCharacterIn(text))
        return failure(kMsgPackageVersionInvalid, {text, *control});
    Result<QByteArray> field =
        packageZeroPaddedField(text, kPackageVersionWidth, QStringLiteral("version number"));
    if (!field)
        return failure(kMsgPackageVersionInvalid, {text, field.error()});
    return *field;
}

// The component number is compared as a number by every client, so only digits are accepted.
Result<QByteArray, NumberedMessage> componentField(const QString& text) {
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            const QString reason = QStringLiteral("\"%1\" is not a digit").arg(c);
            return failure(kMsgPackageComponentInvalid, {text, reason});
        }
    }
    Result<QByteArray> field =
        packageZeroPaddedField(text, kPackageComponentWidth, QStringLiteral("component number"));
    if (!field)
        return failure(kMsgPackageComponentInvalid, {text, field.error()});
    return *field;
}

Result<QByteArray, NumberedMessage> nameField(const QString& name, int index) {
    if (const auto problem = packageNameProblem(name)) {
        return failure(kMsgPackageNameInvalid, {escapeControlCharacters(name), entryText(index), *problem});
    }
    if (const auto bad = findUnrepresentableCharacter(name)) {
        const QString character =
            bad->character + QStringLiteral(" (") + codePointText(bad->character) + QLatin1Char(')');
        return failure(kMsgPackageNameUnrepresentable,
                       {escapeControlCharacters(name), entryText(index), character});
    }
    return *packageNameField(name);
}

Result<QByteArray, NumberedMessage> scriptBytes(const QString& script) {
    if (const auto bad = findUnrepresentableCharacter(script)) {
        const QString character =
            bad->character + QStringLiteral(" (") + codePointText(bad->character) + QLatin1Char(')');
        return failure(kMsgPackageScriptUnrepresentable,
                       {character, QString::number(bad->line), QString::number(bad->column)});
    }
    return *toSystemCodePage(script);
}

NumberedMessage cannotWrite(const QString& path, const QString& reason) {
    return failure(kMsgPackageCannotWrite, {path, reason});
}

NumberedMessage fileChanged(const QString& path, const QString& reason) {
    return failure(kMsgPackageFileChanged, {path, reason});
}

// Bytes moved per call while a file is copied into the package: large enough that the copy runs
// at the speed of the disk, small enough for a steady progress display.
constexpr qint64 kCopyPiece = 8 * 1024 * 1024;

// Moves up to `length` bytes from `in` to the end of `out` inside the kernel, without passing them
// through this process. The number of bytes moved, 0 at the end of the input, or nothing when the
// file systems do not allow it or the output is no plain file (the caller then copies through
// a buffer).
std::optional<qint64> copyInKernel(QFile& in, int out, qint64 length) {
#if defined(Q_OS_LINUX)
    if (out < 0 || in.handle() < 0)
        return std::nullopt;
    const ssize_t moved =
        ::copy_file_range(in.handle(), nullptr, out, nullptr, static_cast<size_t>(length), 0);
    if (moved < 0)
        return std::nullopt;
    // The input's descriptor moved on; Qt's own position follows it.
    if (!in.seek(in.pos() + moved))
        return std::nullopt;
    return static_cast<qint64>(moved);
#else
    Q_UNUSED(in);
    Q_UNUSED(out);
    Q_UNUSED(length);
    return std::nullopt;
#endif
}

// Copies one planned file into the package: in the kernel where it can, else through the buffer.
std::optional<NumberedMessage> copyEntry(const PlannedEntry& entry, OutputFile& out, QByteArray& buffer,
                                         qint64& written, const PackageWriteOptions& options, qint64 total) {
    QFile in(entry.path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fileChanged(entry.path, in.errorString());
    bool inKernel = true;
    qint64 copied = 0;
    while (copied < entry.size) {
        const qint64 wanted = std::min(kCopyPiece, entry.size - copied);
        std::optional<qint64> got = inKernel ? copyInKernel(in, out.descriptor(), wanted) : std::nullopt;
        if (!got && inKernel && copied == 0) {
            inKernel = false;
        } else if (!got && inKernel) {
            return cannotWrite(out.fileName(), systemErrorText(errno));
        }
        if (!inKernel) {
            const qint64 read = in.read(buffer.data(), std::min<qint64>(buffer.size(), wanted));
            if (read < 0)
                return fileChanged(entry.path, in.errorString());
            if (read > 0 && out.write(buffer.constData(), read) != read)
                return cannotWrite(out.fileName(), out.errorString());
            got = read;
        }
        if (*got == 0)
            return fileChanged(
                entry.path,
                QStringLiteral("%1 bytes were expected, only %2 could be read").arg(entry.size).arg(copied));
        copied += *got;
        written += *got;
        if (options.progress)
            options.progress(written, total);
    }
    char extra = 0;
    if (in.read(&extra, 1) > 0)
        return fileChanged(entry.path, QStringLiteral("it grew beyond the %1 bytes it had").arg(entry.size));
    return std::nullopt;
}

} // namespace

Result<PackagePlan, NumberedMessage> planPackage(const PackageSource& source) {
    PackagePlan plan;
    const Result<QByteArray, NumberedMessage> version = versionField(source.version);
    if (!version)
        return version.error();
    const Result<QByteArray, NumberedMessage> component = componentField(source.component);
    if (!component)
        return component.error();

    QByteArray entries;
    qint64 position = kPackageHeaderSize;
    for (int index = 1; index <= kPackageEntryCount; ++index) {
        const QString& path = source.files.at(static_cast<size_t>(index - 1));
        if (path.isEmpty()) {
            entries += QByteArray(kPackageEntryWidth, ' ');
            continue;
        }
        const Result<qint64, NumberedMessage> size = readableFileSize(path, index);
        if (!size)
            return size.error();
        PlannedEntry entry{index, path, packageFileNameOfPath(path), position + 1, *size};
        const Result<QByteArray, NumberedMessage> name = nameField(entry.name, index);
        if (!name)
            return name.error();
        // Each entry becomes one file of the program folder; two of one name would overwrite
        // each other there.
        for (const PlannedEntry& earlier : std::as_const(plan.entries)) {
            if (earlier.name.compare(entry.name, Qt::CaseInsensitive) == 0)
                return failure(kMsgPackageNameTwice, {escapeControlCharacters(entry.name),
                                                      entryText(earlier.index), entryText(index)});
        }
        position += *size;
        // Checked per entry so that a sum of huge sizes cannot overflow.
        if (position > kPackageMaxSize)
            break;
        entries += packageNumberField(entry.start) + packageNumberField(entry.end()) + *name;
        plan.entries.append(entry);
    }

    const Result<QByteArray, NumberedMessage> script = scriptBytes(source.sqlScript);
    if (!script)
        return script.error();
    // The package cannot know the database it will reach: only a script that every database
    // refuses is refused here.
    plan.scriptVerdicts = judgeScriptEverywhere(source.sqlScript);
    if (plan.scriptVerdicts.refusedEverywhere())
        return failure(kMsgPackageScriptRefused, {plan.scriptVerdicts.explained()});
    plan.script = *script;
    if (position <= kPackageMaxSize)
        position += plan.script.size();
    if (position > kPackageMaxSize) {
        qint64 total = kPackageHeaderSize + plan.script.size();
        for (const QString& path : source.files)
            total += path.isEmpty() ? 0 : QFileInfo(path).size();
        const QString size = groupedNumber(total);
        return failure(kMsgPackageTooLarge, {size});
    }

    QByteArray sqlEntry(kPackageSqlEntryWidth, ' ');
    if (!plan.script.isEmpty()) {
        plan.scriptStart = position - plan.script.size() + 1;
        sqlEntry = packageNumberField(plan.scriptStart) + QByteArray(kPackageNumberWidth, ' ');
    }
    plan.header = kPackageLeadByte + *version + *component + kPackageMarkerByte + packageSignature() +
                  entries + sqlEntry;
    plan.size = position;
    return plan;
}

Result<PackageWritten, NumberedMessage> writePackage(const PackageSource& source, const QString& outputPath,
                                                     const PackageWriteOptions& options) {
    const QString target = QFileInfo(outputPath).absoluteFilePath();
    const QFileInfo targetInfo(target);
    if (outputPath.isEmpty() || targetInfo.isDir())
        return cannotWrite(target, QStringLiteral("it is a folder"));
    if (targetInfo.exists() && !options.replaceExisting)
        return failure(kMsgPackageOutputExists, {target});
    if (!targetInfo.dir().exists())
        return cannotWrite(target, QStringLiteral("the folder %1 does not exist").arg(targetInfo.path()));

    const Result<PackagePlan, NumberedMessage> planned = planPackage(source);
    if (!planned)
        return planned.error();
    const PackagePlan& plan = *planned;

    const std::unique_ptr<OutputFile> out = createOutputFile(options.outputFile, target);
    if (!out->open())
        return cannotWrite(target, out->errorString());
    // Every failure after the open discards the temporary file, so the target keeps what it had.
    const auto writeFailed = [&] {
        const NumberedMessage problem = cannotWrite(target, out->errorString());
        out->cancel();
        return problem;
    };
    if (out->write(plan.header) != plan.header.size())
        return writeFailed();
    qint64 written = plan.header.size();
    if (options.progress)
        options.progress(written, plan.size);

    QByteArray buffer(static_cast<qsizetype>(kCopyPiece), Qt::Uninitialized);
    for (const PlannedEntry& entry : plan.entries) {
        if (auto problem = copyEntry(entry, *out, buffer, written, options, plan.size)) {
            out->cancel();
            return *problem;
        }
    }
    for (qsizetype offset = 0; offset < plan.script.size(); offset += kPackageBlockSize) {
        const qsizetype length = std::min<qsizetype>(kPackageBlockSize, plan.script.size() - offset);
        if (out->write(plan.script.constData() + offset, length) != length)
            return writeFailed();
        written += length;
        if (options.progress)
            options.progress(written, plan.size);
    }
    if (!out->commit())
        return cannotWrite(target, out->errorString());
    return PackageWritten{target, written, plan.scriptVerdicts};
}

} // namespace tarnlow
