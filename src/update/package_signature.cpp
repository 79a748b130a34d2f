#include "update/package_signature.h"

#include "host/output_file.h"
#include "update/package_reader.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace tarnlow {
namespace {

using State = PackageSignatureStatus::State;

PackageSignatureStatus status(State state, QString reason, std::optional<KeyId> keyId = std::nullopt) {
    PackageSignatureStatus result;
    result.state = state;
    result.reason = std::move(reason);
    result.keyId = keyId;
    return result;
}

// A name fit for one field of a tab-separated trusted comment.
QByteArray commentSafe(const QString& text) {
    QByteArray bytes = text.toUtf8();
    for (char& byte : bytes) {
        if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F)
            byte = '_';
    }
    return bytes;
}

// Checks the signed entries of the comment against the package's own records and gives them the
// signature's key id and their signatures, so that the caller can store them. With the key at hand
// each record's signature is checked too; without it (a key not trusted here) that is left to the
// clients that trust it.
Result<QList<FileRecord>> checkedRecords(const PackageReader& package,
                                         const QList<SignedFileEntry>& signedEntries, const KeyId& keyId,
                                         const PublicKey* key) {
    Result<QList<FileRecord>> records = packageFileRecords(package);
    if (!records)
        return Error{records.error()};
    if (records->size() != signedEntries.size())
        return Error{QStringLiteral("its signature carries records of %1 files, the package holds %2")
                         .arg(signedEntries.size())
                         .arg(records->size())};
    for (qsizetype i = 0; i < records->size(); ++i) {
        FileRecord& record = (*records)[i];
        const SignedFileEntry& entry = signedEntries.at(i);
        if (entry.updateIndex != record.updateIndex || entry.size != record.size ||
            entry.sha256 != record.sha256)
            return Error{
                QStringLiteral("the signed record of file %1 (%2) does not match its bytes in the package")
                    .arg(record.updateIndex)
                    .arg(record.name)};
        record.keyId = keyId;
        record.signature = entry.signature;
        if (!key)
            continue;
        if (Result<void> verified = verifyFileRecord(record, *key); !verified)
            return Error{QStringLiteral("file %1 (%2): %3")
                             .arg(record.updateIndex)
                             .arg(record.name, verified.error())};
    }
    return records;
}

} // namespace

Result<QList<FileRecord>> packageFileRecords(const PackageReader& package) {
    if (!package.problems().isEmpty())
        return Error{package.problemTexts().join(QStringLiteral("; "))};
    const std::optional<int> component = package.componentNumber();
    if (!component)
        return Error{QStringLiteral("the component number is not a number")};
    QList<FileRecord> records;
    for (int index = 1; index <= kPackageEntryCount; ++index) {
        const std::optional<PackageEntry>& entry = package.entry(index);
        if (!entry)
            continue;
        Sha256 hash;
        qint64 size = 0;
        const Result<void> read = package.readEntry(index, [&](const QByteArray& block) -> Result<void> {
            hash.add(block);
            size += block.size();
            return {};
        });
        if (!read)
            return Error{read.error()};
        FileRecord record;
        record.version = package.versionText();
        record.component = *component;
        record.updateIndex = static_cast<int>(records.size()) + 1;
        record.name = entry->name;
        record.size = size;
        record.sha256 = hash.result();
        records.append(record);
    }
    return records;
}

Result<FileSignature> signPackage(const PackageReader& package, const SecretKey& key,
                                  const QByteArray& comment) {
    if (comment.contains('\n') || comment.contains('\r') || comment.contains('\t'))
        return Error{QStringLiteral("the trusted comment must be one line without tabs")};
    Result<QList<FileRecord>> records = packageFileRecords(package);
    if (!records)
        return Error{QStringLiteral("%1 is not signed: %2").arg(package.path(), records.error())};
    QList<SignedFileEntry> entries;
    for (FileRecord& record : *records) {
        if (Result<void> signedRecord = signFileRecord(record, key); !signedRecord)
            return Error{signedRecord.error()};
        entries.append({record.updateIndex, record.size, record.sha256, record.signature});
    }
    // minisign's own fields first, so that minisign -V shows what it always shows.
    QByteArray trusted = comment.isEmpty() ? QByteArray() : comment + '\t';
    trusted += "timestamp:" + QByteArray::number(QDateTime::currentSecsSinceEpoch()) +
               "\tfile:" + commentSafe(QFileInfo(package.path()).fileName()) + "\thashed\t" +
               signedFileEntriesField(entries);
    Result<FileSignature> signature = signFile(package.path(), key, trusted);
    if (!signature)
        return signature;

    const QString path = signaturePathFor(package.path());
    if (const Result<void> saved = saveWholeFile(path, signature->fileText()); !saved)
        return Error{QStringLiteral("%1 cannot be written: %2").arg(path, saved.error())};
    return signature;
}

PackageSignatureStatus checkPackageSignature(const PackageReader& package, const TrustedKeys& trusted) {
    return checkPackageSignature(package, trusted, signaturePathFor(package.path()));
}

PackageSignatureStatus checkPackageSignature(const PackageReader& package, const TrustedKeys& trusted,
                                             const QString& signaturePath) {
    const QString& path = signaturePath;
    QFile file(path);
    if (!file.exists())
        return status(State::Missing, QStringLiteral("%1 does not exist").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return status(State::Unreadable,
                      QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    // A signature file is four short lines; anything far larger is no signature.
    const QByteArray text = file.read(64 * 1024);
    const Result<FileSignature> signature = parseFileSignature(text);
    if (!signature)
        return status(State::Unreadable, QStringLiteral("%1: %2").arg(path, signature.error()));
    const PublicKey* key = trusted.find(signature->keyId);
    if (!key) {
        PackageSignatureStatus untrusted =
            status(State::Untrusted,
                   trusted.isEmpty()
                       ? QStringLiteral("it is signed by key %1, and no key is trusted here")
                             .arg(signature->keyId.text())
                       : QStringLiteral("it is signed by key %1, which is not among the trusted keys (%2)")
                             .arg(signature->keyId.text(), trusted.idsText()),
                   signature->keyId);
        // Records whose bytes match are kept for storing: each client that trusts the key checks
        // them by itself.
        const Result<std::optional<QList<SignedFileEntry>>> entries =
            signedFileEntries(signature->trustedComment);
        if (entries && entries->has_value()) {
            if (Result<QList<FileRecord>> records =
                    checkedRecords(package, **entries, signature->keyId, nullptr)) {
                untrusted.records = *records;
                untrusted.carriesRecords = true;
            }
        }
        return untrusted;
    }
    if (Result<void> verified = verifyFile(package.path(), *signature, *key); !verified)
        return status(State::Invalid, QStringLiteral("its signature does not hold: ") + verified.error(),
                      key->id);
    const Result<std::optional<QList<SignedFileEntry>>> entries =
        signedFileEntries(signature->trustedComment);
    if (!entries)
        return status(State::Invalid, entries.error(), key->id);
    PackageSignatureStatus result = status(State::Valid, {}, key->id);
    if (entries->has_value()) {
        Result<QList<FileRecord>> records = checkedRecords(package, **entries, key->id, key);
        if (!records)
            return status(State::Invalid, records.error(), key->id);
        result.records = *records;
        result.carriesRecords = true;
    }
    return result;
}

QString signatureStateName(PackageSignatureStatus::State state) {
    switch (state) {
    case State::Missing:
        return QStringLiteral("missing");
    case State::Unreadable:
        return QStringLiteral("unreadable");
    case State::Untrusted:
        return QStringLiteral("untrusted");
    case State::Invalid:
        return QStringLiteral("invalid");
    case State::Valid:
        return QStringLiteral("valid");
    }
    return {};
}

} // namespace tarnlow
