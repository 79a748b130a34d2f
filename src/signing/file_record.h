#pragma once

#include "host/result.h"
#include "signing/signing_key.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarnlow {

// What a signer vouches for about one stored program file: where it is stored (version,
// component, update index, name), how long it is and its SHA-256, with the key that signed these
// fields and the Ed25519 signature over them. A client that trusts the key can check one stored
// file by itself, whoever wrote its row.
struct FileRecord {
    QString version; // trailing blanks do not count: a fixed-width column may add them
    int component = 0;
    int updateIndex = 0;
    QString name; // trailing blanks do not count either
    qint64 size = 0;
    QByteArray sha256; // 32 bytes
    KeyId keyId;
    QByteArray signature; // 64 bytes

    // The bytes the signature covers: every field but the signature, each with its length.
    QByteArray signedMessage() const;
};

// Signs the record's fields with the key and fills in its key id and signature.
Result<void> signFileRecord(FileRecord& record, const SecretKey& key);
// Whether the record's signature was made over its fields by the key; the reason otherwise.
Result<void> verifyFileRecord(const FileRecord& record, const PublicKey& key);

// The part of a record that a package's signature carries in its trusted comment ("files:"):
// the rest (version, component, name) comes from the package, which the same signature covers.
struct SignedFileEntry {
    int updateIndex = 0;
    qint64 size = 0;
    QByteArray sha256;
    QByteArray signature;
};

// "files:1:1024:<sha256 hex>:<signature base64>;2:..." (the field of a trusted comment), and
// back. An empty list gives "files:" with nothing after it.
QByteArray signedFileEntriesField(const QList<SignedFileEntry>& entries);
// The entries of the "files:" field of a trusted comment (fields are separated by tabs); no value
// when the comment has no such field; the reason when the field is malformed.
Result<std::optional<QList<SignedFileEntry>>> signedFileEntries(const QByteArray& trustedComment);

// The SHA-256 of bytes handed in pieces.
class Sha256 {
public:
    Sha256();
    void add(QByteArrayView piece);
    QByteArray result(); // 32 bytes; the object starts over afterwards

private:
    alignas(64) unsigned char m_state[128];
};

} // namespace tarnlow
