#pragma once

#include "host/numbered_message.h"
#include "signing/file_record.h"
#include "signing/trusted_keys.h"

#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace tarnlow {

class PackageReader;

// What the import does about a package's signature, settled before anything runs.
struct ImportSignature {
    std::optional<KeyId> signedBy;          // the trusted key whose valid signature the package carries
    QList<FileRecord> records;              // the signed records to store beside the files
    std::optional<NumberedMessage> warning; // a signature without file records, for the operator
};

// With trusted keys, a package without a valid signature from one of them is refused (message
// 11900 naming the key and the reason); a valid one yields its records. Without trusted keys the
// package is applied as always, and the records of a signature that match the package's bytes are
// stored all the same, for the clients that trust its key. `path` is the package the operator named;
// its signature file lies beside it, while `package` may read a private copy of it.
std::variant<ImportSignature, NumberedMessage>
checkImportSignature(const PackageReader& package, const QString& path, const TrustedKeys& trusted);

} // namespace tarnlow
