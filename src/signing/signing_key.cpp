#include "signing/signing_key.h"

#include "signing/sodium_init.h"

#include <QList>

#include <sodium.h>

#include <cstring>

namespace tarnlow {
namespace {

const QByteArray kUntrustedPrefix = QByteArrayLiteral("untrusted comment: ");
const QByteArray kSignatureAlgorithm = QByteArrayLiteral("Ed");
const QByteArray kScryptAlgorithm = QByteArrayLiteral("Sc");
const QByteArray kNoKdf = QByteArray(2, '\0');
const QByteArray kChecksumAlgorithm = QByteArrayLiteral("B2");

constexpr qsizetype kIdSize = 8;
constexpr qsizetype kSaltSize = crypto_pwhash_scryptsalsa208sha256_SALTBYTES;
constexpr qsizetype kChecksumSize = crypto_generichash_BYTES;
// The part of a secret key file that the passphrase encrypts: id, secret key, checksum.
constexpr qsizetype kSealedSize = kIdSize + crypto_sign_SECRETKEYBYTES + kChecksumSize;
// Algorithm names, salt, the two cost numbers, the sealed part.
constexpr qsizetype kSecretFileSize = 2 + 2 + 2 + kSaltSize + 8 + 8 + kSealedSize;

QByteArray littleEndian(quint64 value) {
    QByteArray bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

quint64 fromLittleEndian(QByteArrayView bytes) {
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

const unsigned char* bytesOf(QByteArrayView view) {
    return reinterpret_cast<const unsigned char*>(view.data());
}
unsigned char* bytesOf(QByteArray& bytes) {
    return reinterpret_cast<unsigned char*>(bytes.data());
}

// The lines of a key file without their line ends; blank lines dropped.
QList<QByteArray> keyFileLines(QByteArrayView text) {
    QList<QByteArray> lines;
    for (QByteArray line : QByteArray(text.data(), text.size()).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            lines.append(line);
    }
    return lines;
}

// The base64 line of a key file: the line after the untrusted comment, or the only line.
Result<QByteArray> keyLine(QByteArrayView text, const QString& what) {
    const QList<QByteArray> lines = keyFileLines(text);
    if (lines.isEmpty())
        return Error{QStringLiteral("the %1 is empty").arg(what)};
    qsizetype at = 0;
    if (lines.first().startsWith(kUntrustedPrefix)) {
        if (lines.size() < 2)
            return Error{QStringLiteral("the %1 ends after its comment line").arg(what)};
        at = 1;
    }
    return lines.at(at).trimmed();
}

Result<QByteArray> decodeBase64(const QByteArray& line, qsizetype size, const QString& what) {
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return Error{QStringLiteral("the %1 is not base64 text").arg(what)};
    if (decoded.decoded.size() != size)
        return Error{QStringLiteral("the %1 holds %2 bytes instead of %3")
                         .arg(what)
                         .arg(decoded.decoded.size())
                         .arg(size)};
    return *decoded;
}

QByteArray checksum(const KeyId& id, const QByteArray& secret) {
    QByteArray digest(kChecksumSize, '\0');
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, kChecksumSize);
    crypto_generichash_update(&state, bytesOf(kSignatureAlgorithm), 2);
    crypto_generichash_update(&state, id.bytes.data(), kIdSize);
    crypto_generichash_update(&state, bytesOf(secret), static_cast<unsigned long long>(secret.size()));
    crypto_generichash_final(&state, bytesOf(digest), kChecksumSize);
    return digest;
}

// XORs the sealed part with the stream derived from the passphrase: encrypts and decrypts alike.
Result<void> applyPassphrase(QByteArray& sealed, const QByteArray& passphrase, QByteArrayView salt,
                             PassphraseCost cost) {
    QByteArray stream(sealed.size(), '\0');
    if (crypto_pwhash_scryptsalsa208sha256(bytesOf(stream), static_cast<unsigned long long>(stream.size()),
                                           passphrase.constData(),
                                           static_cast<unsigned long long>(passphrase.size()), bytesOf(salt),
                                           cost.operations, static_cast<size_t>(cost.memoryBytes)) != 0)
        return Error{QStringLiteral("the key cannot be derived from the passphrase (the file asks for "
                                    "%1 MiB of memory)")
                         .arg(cost.memoryBytes / (1024 * 1024))};
    for (qsizetype i = 0; i < sealed.size(); ++i)
        sealed[i] = static_cast<char>(sealed[i] ^ stream[i]);
    sodium_memzero(stream.data(), static_cast<size_t>(stream.size()));
    return {};
}

// Whether the secret key's second half is the public key of its first half (the seed).
bool halvesAgree(const QByteArray& secret) {
    QByteArray pub(crypto_sign_PUBLICKEYBYTES, '\0');
    QByteArray again(crypto_sign_SECRETKEYBYTES, '\0');
    crypto_sign_seed_keypair(bytesOf(pub), bytesOf(again), bytesOf(QByteArrayView(secret).first(32)));
    const bool same = sodium_memcmp(again.constData(), secret.constData(), crypto_sign_SECRETKEYBYTES) == 0;
    sodium_memzero(again.data(), static_cast<size_t>(again.size()));
    return same;
}

} // namespace

QString KeyId::text() const {
    QString text;
    for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte)
        text += QStringLiteral("%1").arg(*byte, 2, 16, QLatin1Char('0'));
    return text.toUpper();
}

QByteArray KeyId::raw() const {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), kIdSize);
}

std::optional<KeyId> KeyId::fromRaw(QByteArrayView raw) {
    if (raw.size() != kIdSize)
        return std::nullopt;
    KeyId id;
    std::memcpy(id.bytes.data(), raw.data(), kIdSize);
    return id;
}

QByteArray PublicKey::base64() const {
    return QByteArray(kSignatureAlgorithm + id.raw() + key).toBase64();
}

QByteArray PublicKey::fileText() const {
    return kUntrustedPrefix + QByteArrayLiteral("minisign public key ") + id.text().toLatin1() + '\n' +
           base64() + '\n';
}

PublicKey SecretKey::publicKey() const {
    PublicKey pub;
    pub.id = id;
    pub.key = QByteArray(crypto_sign_PUBLICKEYBYTES, '\0');
    crypto_sign_ed25519_sk_to_pk(reinterpret_cast<unsigned char*>(pub.key.data()),
                                 reinterpret_cast<const unsigned char*>(key.constData()));
    return pub;
}

PassphraseCost sensitivePassphraseCost() {
    return {crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE,
            crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE};
}

PassphraseCost interactivePassphraseCost() {
    return {crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_INTERACTIVE,
            crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_INTERACTIVE};
}

Result<KeyPair> generateKeyPair() {
    if (Result<void> ready = ensureSodium(); !ready)
        return Error{ready.error()};
    KeyPair pair;
    randombytes_buf(pair.secretKey.id.bytes.data(), kIdSize);
    pair.secretKey.key = QByteArray(crypto_sign_SECRETKEYBYTES, '\0');
    QByteArray pub(crypto_sign_PUBLICKEYBYTES, '\0');
    crypto_sign_keypair(bytesOf(pub), bytesOf(pair.secretKey.key));
    pair.publicKey = PublicKey{pair.secretKey.id, pub};
    return pair;
}

Result<PublicKey> parsePublicKey(QByteArrayView text) {
    const Result<QByteArray> line = keyLine(text, QStringLiteral("public key"));
    if (!line)
        return Error{line.error()};
    const Result<QByteArray> raw =
        decodeBase64(*line, 2 + kIdSize + crypto_sign_PUBLICKEYBYTES, QStringLiteral("public key"));
    if (!raw)
        return Error{raw.error()};
    if (raw->left(2) != kSignatureAlgorithm)
        return Error{QStringLiteral("the public key is not an Ed25519 key")};
    PublicKey key;
    key.id = *KeyId::fromRaw(QByteArrayView(*raw).sliced(2, kIdSize));
    key.key = raw->sliced(2 + kIdSize);
    return key;
}

namespace {

Result<QByteArray> secretKeyBytes(QByteArrayView fileText) {
    const Result<QByteArray> line = keyLine(fileText, QStringLiteral("secret key file"));
    if (!line)
        return Error{line.error()};
    const Result<QByteArray> raw = decodeBase64(*line, kSecretFileSize, QStringLiteral("secret key"));
    if (!raw)
        return Error{raw.error()};
    if (raw->sliced(0, 2) != kSignatureAlgorithm)
        return Error{QStringLiteral("the secret key is not an Ed25519 key")};
    const QByteArray kdf = raw->sliced(2, 2);
    if (kdf != kScryptAlgorithm && kdf != kNoKdf)
        return Error{QStringLiteral("the secret key is encrypted in a way this program does not know")};
    if (raw->sliced(4, 2) != kChecksumAlgorithm)
        return Error{QStringLiteral("the secret key's checksum is of a kind this program does not know")};
    return *raw;
}

} // namespace

Result<bool> secretKeyIsEncrypted(QByteArrayView fileText) {
    const Result<QByteArray> raw = secretKeyBytes(fileText);
    if (!raw)
        return Error{raw.error()};
    return raw->sliced(2, 2) == kScryptAlgorithm;
}

Result<SecretKey> parseSecretKey(QByteArrayView fileText, const std::optional<QByteArray>& passphrase) {
    if (Result<void> ready = ensureSodium(); !ready)
        return Error{ready.error()};
    const Result<QByteArray> raw = secretKeyBytes(fileText);
    if (!raw)
        return Error{raw.error()};
    const bool encrypted = raw->sliced(2, 2) == kScryptAlgorithm;
    const QByteArrayView salt = QByteArrayView(*raw).sliced(6, kSaltSize);
    const PassphraseCost cost{fromLittleEndian(QByteArrayView(*raw).sliced(6 + kSaltSize, 8)),
                              fromLittleEndian(QByteArrayView(*raw).sliced(6 + kSaltSize + 8, 8))};
    QByteArray sealed = raw->sliced(6 + kSaltSize + 16);
    if (encrypted) {
        if (!passphrase)
            return Error{QStringLiteral("the secret key is encrypted and no passphrase was given")};
        if (Result<void> opened = applyPassphrase(sealed, *passphrase, salt, cost); !opened)
            return Error{opened.error()};
    }
    SecretKey key;
    key.id = *KeyId::fromRaw(QByteArrayView(sealed).sliced(0, kIdSize));
    key.key = sealed.sliced(kIdSize, crypto_sign_SECRETKEYBYTES);
    const QByteArray stored = sealed.sliced(kIdSize + crypto_sign_SECRETKEYBYTES);
    const QByteArray computed = checksum(key.id, key.key);
    sodium_memzero(sealed.data(), static_cast<size_t>(sealed.size()));
    // minisign leaves the checksum of a key without passphrase zero; the key's own halves are
    // checked instead.
    const bool checksumStored = encrypted || stored != QByteArray(kChecksumSize, '\0');
    if (checksumStored && sodium_memcmp(stored.constData(), computed.constData(), kChecksumSize) != 0)
        return Error{encrypted
                         ? QStringLiteral("the passphrase is wrong, or the secret key file is damaged")
                         : QStringLiteral("the secret key file is damaged (its checksum does not match)")};
    if (!halvesAgree(key.key))
        return Error{QStringLiteral("the secret key file is damaged (its key does not match itself)")};
    return key;
}

Result<QByteArray> secretKeyFileText(const SecretKey& secretKey, const std::optional<QByteArray>& passphrase,
                                     PassphraseCost cost) {
    if (Result<void> ready = ensureSodium(); !ready)
        return Error{ready.error()};
    QByteArray salt(kSaltSize, '\0');
    QByteArray sealed = secretKey.id.raw() + secretKey.key + checksum(secretKey.id, secretKey.key);
    if (passphrase) {
        randombytes_buf(salt.data(), static_cast<size_t>(salt.size()));
        if (Result<void> closed = applyPassphrase(sealed, *passphrase, salt, cost); !closed)
            return Error{closed.error()};
    } else {
        cost = {};
    }
    const QByteArray raw = kSignatureAlgorithm + (passphrase ? kScryptAlgorithm : kNoKdf) +
                           kChecksumAlgorithm + salt + littleEndian(cost.operations) +
                           littleEndian(cost.memoryBytes) + sealed;
    sodium_memzero(sealed.data(), static_cast<size_t>(sealed.size()));
    const QByteArray comment = passphrase ? QByteArrayLiteral("minisign encrypted secret key")
                                          : QByteArrayLiteral("minisign secret key (not encrypted)");
    return QByteArray(kUntrustedPrefix + comment + '\n' + raw.toBase64() + '\n');
}

} // namespace tarnlow
