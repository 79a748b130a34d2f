#pragma once

#include "host/result.h"
#include "signing/signing_key.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnlow {

// A detached signature in minisign's format: the Ed25519 signature of the file's BLAKE2b-512
// hash, a trusted comment, and a second ("global") signature over the first signature and the
// trusted comment, so that the comment cannot be changed either.
struct FileSignature {
    bool prehashed = true; // "ED"; false for the legacy "Ed" form, a signature of the whole file
    KeyId keyId;
    QByteArray signature; // 64 bytes
    QByteArray untrustedComment;
    QByteArray trustedComment;  // one line, UTF-8
    QByteArray globalSignature; // 64 bytes

    // The four lines of a .minisig file.
    QByteArray fileText() const;
};

// "PACKAGE.fuf.minisig": where a detached signature of the file is looked for and written.
QString signaturePathFor(const QString& path);

// Reads the four lines of a signature file. The reason names the line that is wrong, so a
// truncated or damaged file is told from a bad signature.
Result<FileSignature> parseFileSignature(QByteArrayView text);

// The BLAKE2b-512 hash of the file, read in blocks.
Result<QByteArray> fileHash(const QString& path);

// Signs the file (read in blocks, never held whole) with the trusted comment, which must be one
// line.
Result<FileSignature> signFile(const QString& path, const SecretKey& key, const QByteArray& trustedComment);

// Whether the signature of the file was made by the key: the key ids agree, the signature matches
// the file's hash, and the global signature matches the trusted comment. The reason otherwise.
// A legacy signature is refused: verifying it needs the whole file in memory.
Result<void> verifyFile(const QString& path, const FileSignature& signature, const PublicKey& key);
// The same for a hash already computed with fileHash.
Result<void> verifyHash(const QByteArray& hash, const FileSignature& signature, const PublicKey& key);

} // namespace tarnlow
