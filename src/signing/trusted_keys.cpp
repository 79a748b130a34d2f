#include "signing/trusted_keys.h"

#include "host/settings_store.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace tarnlow {

const PublicKey* TrustedKeys::find(const KeyId& id) const {
    for (const PublicKey& key : keys) {
        if (key.id == id)
            return &key;
    }
    return nullptr;
}

QString TrustedKeys::idsText() const {
    QStringList ids;
    for (const PublicKey& key : keys)
        ids << key.id.text();
    return ids.join(QStringLiteral(", "));
}

Result<QList<PublicKey>> parseTrustedKeyList(QByteArrayView text, const QString& where, bool oneLine) {
    QList<PublicKey> keys;
    const QList<QByteArray> lines = QByteArray(text.data(), text.size()).split('\n');
    for (qsizetype number = 0; number < lines.size(); ++number) {
        const QByteArray line = lines.at(number).trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith("untrusted comment:"))
            continue;
        const QStringList words = QString::fromLatin1(line).split(
            QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
        for (const QString& word : words) {
            const Result<PublicKey> key = parsePublicKey(word.toLatin1());
            if (!key)
                return Error{
                    oneLine ? QStringLiteral("%1: \"%2\": %3").arg(where, word.left(60), key.error())
                            : QStringLiteral("%1 line %2: %3").arg(where).arg(number + 1).arg(key.error())};
            keys.append(*key);
        }
    }
    return keys;
}

Result<TrustedKeys> loadTrustedKeys(const SettingsStore& settings, const QString& programFolder) {
    TrustedKeys trusted;
    if (const std::optional<QString> value = settings.read(kSettingsKey, kTrustedKeysValue)) {
        const Result<QList<PublicKey>> keys = parseTrustedKeyList(
            value->toLatin1(), QStringLiteral("the setting %1").arg(kTrustedKeysValue), true);
        if (!keys)
            return Error{keys.error()};
        trusted.keys += *keys;
    }
    const QString path = QDir(programFolder).filePath(kTrustedKeysFileName);
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return Error{QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString())};
        const Result<QList<PublicKey>> keys = parseTrustedKeyList(file.readAll(), path, false);
        if (!keys)
            return Error{keys.error()};
        trusted.keys += *keys;
    }
    return trusted;
}

} // namespace tarnlow
