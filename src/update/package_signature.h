#pragma once

#include "host/result.h"
#include "signing/file_record.h"
#include "signing/file_signature.h"
#include "signing/trusted_keys.h"

#include <QList>
#include <QString>

#include <optional>

namespace tarnlow {

class PackageReader;

// The records of every used entry of a sound package, numbered as the import stores them
// (1, 2, ... over the used entries), with each file's SHA-256 read from the package in blocks.
// Not yet signed.
Result<QList<FileRecord>> packageFileRecords(const PackageReader& package);

// Signs a sound package with the key: the signature of the whole file, whose trusted comment
// also carries a signed record of every file, written to PACKAGE.fuf.minisig (replaced whole or
// left as it was). `comment` is put in front of the records, one line.
Result<FileSignature> signPackage(const PackageReader& package, const SecretKey& key,
                                  const QByteArray& comment = {});

// What the signature next to a package says.
struct PackageSignatureStatus {
    enum class State {
        Missing,    // no PACKAGE.fuf.minisig
        Unreadable, // the file is there but is no signature (reason says why)
        Untrusted,  // a sound signature by a key this client does not trust: not checked
        Invalid,    // by a trusted key, but the package or its records do not match (reason)
        Valid,      // by a trusted key, and everything matches
    };
    State state = State::Missing;
    std::optional<KeyId> keyId;
    QString reason;
    // Of a valid signature: the records of the package's files, checked; empty when the
    // signature carries none (made without them, as minisign alone makes it). Of an untrusted
    // one: the records whose sizes and hashes match the package, their signatures unchecked.
    QList<FileRecord> records;
    bool carriesRecords = false;
};

// Reads and, when it comes from a trusted key, checks the signature of the package: the file's
// bytes, the trusted comment and every file record against the package's own entries.
PackageSignatureStatus checkPackageSignature(const PackageReader& package, const TrustedKeys& trusted);
// The same with the signature file named: for a package read from a copy of the signed file.
PackageSignatureStatus checkPackageSignature(const PackageReader& package, const TrustedKeys& trusted,
                                             const QString& signaturePath);

// "valid", "missing", ... for the command line and JSON.
QString signatureStateName(PackageSignatureStatus::State state);

} // namespace tarnlow
