#include "signing/file_record.h"

#include "signing/sodium_init.h"

#include <sodium.h>

#include <cstring>

namespace tarnlow {
namespace {

const QByteArray kFilesField = QByteArrayLiteral("files:");

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

void appendField(QByteArray& message, const QByteArray& field) {
    message += QByteArray::number(field.size()) + ':' + field + '\n';
}

crypto_hash_sha256_state& stateOf(unsigned char* storage) {
    return *reinterpret_cast<crypto_hash_sha256_state*>(storage);
}

} // namespace

static_assert(sizeof(crypto_hash_sha256_state) <= 128);

QByteArray FileRecord::signedMessage() const {
    QByteArray message = QByteArrayLiteral("tarnlow_as file record 1\n");
    appendField(message, withoutTrailingBlanks(version).toUtf8());
    appendField(message, QByteArray::number(component));
    appendField(message, QByteArray::number(updateIndex));
    appendField(message, withoutTrailingBlanks(name).toUtf8());
    appendField(message, QByteArray::number(size));
    appendField(message, sha256.toHex());
    appendField(message, keyId.text().toLatin1());
    return message;
}

Result<void> signFileRecord(FileRecord& record, const SecretKey& key) {
    if (Result<void> ready = ensureSodium(); !ready)
        return ready;
    record.keyId = key.id;
    const QByteArray message = record.signedMessage();
    record.signature = QByteArray(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(record.signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(message.constData()),
                         static_cast<unsigned long long>(message.size()),
                         reinterpret_cast<const unsigned char*>(key.key.constData()));
    return {};
}

Result<void> verifyFileRecord(const FileRecord& record, const PublicKey& key) {
    if (Result<void> ready = ensureSodium(); !ready)
        return ready;
    if (!(record.keyId == key.id))
        return Error{
            QStringLiteral("its record names key %1, not key %2").arg(record.keyId.text(), key.id.text())};
    if (record.signature.size() != crypto_sign_BYTES)
        return Error{QStringLiteral("its record's signature is not 64 bytes long")};
    const QByteArray message = record.signedMessage();
    if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(record.signature.constData()),
                                    reinterpret_cast<const unsigned char*>(message.constData()),
                                    static_cast<unsigned long long>(message.size()),
                                    reinterpret_cast<const unsigned char*>(key.key.constData())) != 0)
        return Error{QStringLiteral("its record's signature does not match key %1").arg(key.id.text())};
    return {};
}

QByteArray signedFileEntriesField(const QList<SignedFileEntry>& entries) {
    QList<QByteArray> parts;
    for (const SignedFileEntry& entry : entries)
        parts << QByteArray::number(entry.updateIndex) + ':' + QByteArray::number(entry.size) + ':' +
                     entry.sha256.toHex() + ':' + entry.signature.toBase64();
    return kFilesField + parts.join(';');
}

Result<std::optional<QList<SignedFileEntry>>> signedFileEntries(const QByteArray& trustedComment) {
    for (const QByteArray& field : trustedComment.split('\t')) {
        if (!field.startsWith(kFilesField))
            continue;
        QList<SignedFileEntry> entries;
        const QByteArray list = field.sliced(kFilesField.size());
        if (list.isEmpty())
            return std::optional<QList<SignedFileEntry>>(entries);
        for (const QByteArray& part : list.split(';')) {
            const QList<QByteArray> pieces = part.split(':');
            bool indexOk = false;
            bool sizeOk = false;
            SignedFileEntry entry;
            if (pieces.size() == 4) {
                entry.updateIndex = pieces.at(0).toInt(&indexOk);
                entry.size = pieces.at(1).toLongLong(&sizeOk);
                entry.sha256 = QByteArray::fromHex(pieces.at(2));
                entry.signature = QByteArray::fromBase64(pieces.at(3));
            }
            if (!indexOk || !sizeOk || entry.size < 0 || pieces.at(2).size() != 64 ||
                entry.sha256.size() != crypto_hash_sha256_BYTES ||
                entry.signature.size() != crypto_sign_BYTES)
                return Error{QStringLiteral("the file record \"%1\" in the trusted comment is malformed")
                                 .arg(QString::fromUtf8(part.left(40)))};
            entries.append(entry);
        }
        return std::optional<QList<SignedFileEntry>>(entries);
    }
    return std::optional<QList<SignedFileEntry>>();
}

Sha256::Sha256() {
    (void)ensureSodium();
    crypto_hash_sha256_init(&stateOf(m_state));
}

void Sha256::add(QByteArrayView piece) {
    crypto_hash_sha256_update(&stateOf(m_state), reinterpret_cast<const unsigned char*>(piece.data()),
                              static_cast<unsigned long long>(piece.size()));
}

QByteArray Sha256::result() {
    QByteArray digest(crypto_hash_sha256_BYTES, '\0');
    crypto_hash_sha256_final(&stateOf(m_state), reinterpret_cast<unsigned char*>(digest.data()));
    crypto_hash_sha256_init(&stateOf(m_state));
    return digest;
}

} // namespace tarnlow
