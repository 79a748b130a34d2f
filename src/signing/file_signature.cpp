#include "signing/file_signature.h"

#include "signing/sodium_init.h"

#include <QFile>
#include <QList>

#include <sodium.h>

namespace tarnlow {
namespace {

const QByteArray kUntrustedPrefix = QByteArrayLiteral("untrusted comment: ");
const QByteArray kTrustedPrefix = QByteArrayLiteral("trusted comment: ");
const QByteArray kPrehashed = QByteArrayLiteral("ED");
const QByteArray kLegacy = QByteArrayLiteral("Ed");
constexpr qsizetype kHashSize = crypto_generichash_BYTES_MAX; // 64: BLAKE2b-512
constexpr qsizetype kSignatureSize = crypto_sign_BYTES;
constexpr qsizetype kBlockSize = 65536;

const unsigned char* bytesOf(QByteArrayView view) {
    return reinterpret_cast<const unsigned char*>(view.data());
}

QByteArray detachedSignature(QByteArrayView message, const SecretKey& key) {
    QByteArray signature(kSignatureSize, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr, bytesOf(message),
                         static_cast<unsigned long long>(message.size()), bytesOf(key.key));
    return signature;
}

bool signatureMatches(QByteArrayView signature, QByteArrayView message, const PublicKey& key) {
    return crypto_sign_verify_detached(bytesOf(signature), bytesOf(message),
                                       static_cast<unsigned long long>(message.size()),
                                       bytesOf(key.key)) == 0;
}

Result<QByteArray> decodeLine(const QByteArray& line, qsizetype size, const QString& what) {
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(line.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return Error{QStringLiteral("%1 is not base64 text").arg(what)};
    if (decoded.decoded.size() != size)
        return Error{QStringLiteral("%1 holds %2 bytes instead of %3")
                         .arg(what)
                         .arg(decoded.decoded.size())
                         .arg(size)};
    return *decoded;
}

} // namespace

QByteArray FileSignature::fileText() const {
    return kUntrustedPrefix + untrustedComment + '\n' +
           QByteArray((prehashed ? kPrehashed : kLegacy) + keyId.raw() + signature).toBase64() + '\n' +
           kTrustedPrefix + trustedComment + '\n' + globalSignature.toBase64() + '\n';
}

QString signaturePathFor(const QString& path) {
    return path + QStringLiteral(".minisig");
}

Result<FileSignature> parseFileSignature(QByteArrayView text) {
    QList<QByteArray> lines = QByteArray(text.data(), text.size()).split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return Error{QStringLiteral("the signature file is empty")};
    if (!lines.at(0).startsWith(kUntrustedPrefix))
        return Error{QStringLiteral("line 1 of the signature file is not an untrusted comment")};
    if (lines.size() < 4)
        return Error{QStringLiteral("the signature file ends after line %1 of 4").arg(lines.size())};
    if (lines.size() > 4)
        return Error{QStringLiteral("the signature file has more than 4 lines")};

    FileSignature signature;
    signature.untrustedComment = lines.at(0).sliced(kUntrustedPrefix.size());
    const Result<QByteArray> first =
        decodeLine(lines.at(1), 2 + 8 + kSignatureSize, QStringLiteral("line 2 of the signature file"));
    if (!first)
        return Error{first.error()};
    const QByteArray algorithm = first->left(2);
    if (algorithm != kPrehashed && algorithm != kLegacy)
        return Error{QStringLiteral("line 2 of the signature file names an unknown algorithm")};
    signature.prehashed = algorithm == kPrehashed;
    signature.keyId = *KeyId::fromRaw(QByteArrayView(*first).sliced(2, 8));
    signature.signature = first->sliced(10);
    if (!lines.at(2).startsWith(kTrustedPrefix))
        return Error{QStringLiteral("line 3 of the signature file is not a trusted comment")};
    signature.trustedComment = lines.at(2).sliced(kTrustedPrefix.size());
    const Result<QByteArray> global =
        decodeLine(lines.at(3), kSignatureSize, QStringLiteral("line 4 of the signature file"));
    if (!global)
        return Error{global.error()};
    signature.globalSignature = *global;
    return signature;
}

Result<QByteArray> fileHash(const QString& path) {
    if (Result<void> ready = ensureSodium(); !ready)
        return Error{ready.error()};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString())};
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, kHashSize);
    QByteArray block(kBlockSize, '\0');
    for (;;) {
        const qint64 got = file.read(block.data(), block.size());
        if (got < 0)
            return Error{QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString())};
        if (got == 0)
            break;
        crypto_generichash_update(&state, bytesOf(block), static_cast<unsigned long long>(got));
    }
    QByteArray hash(kHashSize, '\0');
    crypto_generichash_final(&state, reinterpret_cast<unsigned char*>(hash.data()), kHashSize);
    return hash;
}

Result<FileSignature> signFile(const QString& path, const SecretKey& key, const QByteArray& trustedComment) {
    if (trustedComment.contains('\n') || trustedComment.contains('\r'))
        return Error{QStringLiteral("the trusted comment must be one line")};
    const Result<QByteArray> hash = fileHash(path);
    if (!hash)
        return Error{hash.error()};
    FileSignature signature;
    signature.keyId = key.id;
    signature.signature = detachedSignature(*hash, key);
    signature.untrustedComment = QByteArrayLiteral("signature from minisign secret key");
    signature.trustedComment = trustedComment;
    signature.globalSignature = detachedSignature(QByteArray(signature.signature + trustedComment), key);
    // A damaged secret key would sign without complaint; check the result before handing it out.
    if (Result<void> checked = verifyHash(*hash, signature, key.publicKey()); !checked)
        return Error{QStringLiteral("the secret key does not produce valid signatures: ") + checked.error()};
    return signature;
}

Result<void> verifyHash(const QByteArray& hash, const FileSignature& signature, const PublicKey& key) {
    if (Result<void> ready = ensureSodium(); !ready)
        return ready;
    if (!(signature.keyId == key.id))
        return Error{QStringLiteral("it was made by key %1, not by key %2")
                         .arg(signature.keyId.text(), key.id.text())};
    if (!signature.prehashed)
        return Error{QStringLiteral("it is in the legacy form that signs the whole file; sign the file again "
                                    "with prehashing")};
    if (!signatureMatches(signature.signature, hash, key))
        return Error{
            QStringLiteral("the file's bytes do not match the signature of key %1").arg(key.id.text())};
    if (!signatureMatches(signature.globalSignature,
                          QByteArray(signature.signature + signature.trustedComment), key))
        return Error{
            QStringLiteral("the trusted comment does not match the signature of key %1").arg(key.id.text())};
    return {};
}

Result<void> verifyFile(const QString& path, const FileSignature& signature, const PublicKey& key) {
    const Result<QByteArray> hash = fileHash(path);
    if (!hash)
        return Error{hash.error()};
    return verifyHash(*hash, signature, key);
}

} // namespace tarnlow
