#pragma once

#include "host/result.h"
#include "signing/signing_key.h"
#include "signing/trusted_keys.h"

#include <QString>

class QCommandLineParser;

namespace tarnlow::cli {

// The option that names a file whose first line is the passphrase of a secret key.
inline const QString kPassphraseFileOption = QStringLiteral("passphrase-file");
void addPassphraseFileOption(QCommandLineParser& parser, const QString& description);

// The passphrase: the first line of --passphrase-file, or typed on the terminal after the prompt.
Result<QByteArray> passphrase(const QCommandLineParser& parser, const QString& prompt);

// Reads the secret key file, asking for its passphrase when it is encrypted.
Result<SecretKey> readSecretKey(const QString& path, const QCommandLineParser& parser);

// The keys this client trusts: the TrustedKeys setting and trusted_keys in the program folder.
Result<TrustedKeys> clientTrustedKeys();

} // namespace tarnlow::cli
