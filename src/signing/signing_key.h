#pragma once

#include "host/result.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace tarnlow {

// The eight random bytes that name a key pair. Signatures carry them, so a verifier can tell
// which of its keys a signature claims to come from.
struct KeyId {
    std::array<unsigned char, 8> bytes{};

    // Sixteen upper-case hex digits, the bytes read as a little-endian number ("2E15C4F3A1B07D96"):
    // the form minisign prints and writes into its comments.
    QString text() const;
    QByteArray raw() const;
    static std::optional<KeyId> fromRaw(QByteArrayView raw);

    friend bool operator==(const KeyId&, const KeyId&) = default;
};

// An Ed25519 public key with its id.
struct PublicKey {
    KeyId id;
    QByteArray key; // 32 bytes

    // The base64 line of a public key file: "Ed", the id, the key.
    QByteArray base64() const;
    // A whole public key file: the untrusted comment naming the key id, then the base64 line.
    QByteArray fileText() const;
};

// An Ed25519 secret key (libsodium's 64-byte form, seed and public key) with its id.
struct SecretKey {
    KeyId id;
    QByteArray key; // 64 bytes

    PublicKey publicKey() const;
};

struct KeyPair {
    PublicKey publicKey;
    SecretKey secretKey;
};

// The cost of deriving the key that encrypts a secret key file from its passphrase (scrypt).
// Both numbers are stored in the file, so any choice stays readable by every reader.
struct PassphraseCost {
    quint64 operations = 0;
    quint64 memoryBytes = 0;
};
// libsodium's "sensitive" cost (1 GiB, about a second or more): what minisign writes.
PassphraseCost sensitivePassphraseCost();
// libsodium's "interactive" cost (16 MiB, milliseconds), for tests.
PassphraseCost interactivePassphraseCost();

// A new key pair with a random id.
Result<KeyPair> generateKeyPair();

// Reads a public key from the text of a public key file (comment line and base64 line) or from
// the base64 line alone. The reason names what is wrong.
Result<PublicKey> parsePublicKey(QByteArrayView text);

// Whether the secret key file is encrypted with a passphrase; the reason when it is no secret key
// file.
Result<bool> secretKeyIsEncrypted(QByteArrayView fileText);
// Reads a secret key file; passphrase is needed when the file is encrypted. A wrong passphrase,
// like a damaged file, fails the file's checksum and is reported as such.
Result<SecretKey> parseSecretKey(QByteArrayView fileText, const std::optional<QByteArray>& passphrase);
// The text of a secret key file, encrypted when a passphrase is given, plain otherwise.
Result<QByteArray> secretKeyFileText(const SecretKey& secretKey, const std::optional<QByteArray>& passphrase,
                                     PassphraseCost cost);

} // namespace tarnlow
