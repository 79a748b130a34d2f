#pragma once

#include "host/result.h"
#include "signing/signing_key.h"

#include <QList>
#include <QString>

namespace tarnlow {

class SettingsStore;

// The settings value that lists trusted public keys (their base64 lines, separated by blanks,
// commas or semicolons).
inline const QString kTrustedKeysValue = QStringLiteral("TrustedKeys");
// The file in the program folder that lists trusted public keys: public key files put one after
// the other, or their base64 lines alone; "untrusted comment:" lines, lines starting with '#' and
// blank lines are skipped.
inline const QString kTrustedKeysFileName = QStringLiteral("trusted_keys");

// The public keys whose signatures this client accepts for update packages and stored files.
struct TrustedKeys {
    QList<PublicKey> keys;

    bool isEmpty() const { return keys.isEmpty(); }
    // The key with that id, or none.
    const PublicKey* find(const KeyId& id) const;
    // "2E15C4F3A1B07D96, 0A0B..." for messages.
    QString idsText() const;
};

// The keys from the settings value and the file in the program folder. A list that cannot be
// read or holds a line that is no public key is an error naming where, never an empty list:
// a damaged list must not turn verification off.
Result<TrustedKeys> loadTrustedKeys(const SettingsStore& settings, const QString& programFolder);

// The keys of one list's text; `where` names it in the reason ("trusted_keys line 3").
Result<QList<PublicKey>> parseTrustedKeyList(QByteArrayView text, const QString& where, bool oneLine);

} // namespace tarnlow
