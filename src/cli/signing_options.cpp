#include "cli/signing_options.h"

#include "cli/connection_options.h"
#include "cli/terminal_password.h"
#include "host/settings_store.h"

#include <QCommandLineParser>
#include <QFile>

namespace tarnlow::cli {

void addPassphraseFileOption(QCommandLineParser& parser, const QString& description) {
    parser.addOption(QCommandLineOption(kPassphraseFileOption, description, QStringLiteral("FILE")));
}

Result<QByteArray> passphrase(const QCommandLineParser& parser, const QString& prompt) {
    if (parser.isSet(kPassphraseFileOption)) {
        const QString path = parser.value(kPassphraseFileOption);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return Error{
                QStringLiteral("--passphrase-file: %1 cannot be read: %2").arg(path, file.errorString())};
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            return Error{QStringLiteral("--passphrase-file: the first line of %1 is empty").arg(path)};
        return line;
    }
    const Result<QString> typed = askPasswordOnTerminal(prompt, QStringLiteral("the passphrase"),
                                                        QStringLiteral("use --passphrase-file FILE"));
    if (!typed)
        return Error{typed.error()};
    if (typed->isEmpty())
        return Error{QStringLiteral("the passphrase is empty")};
    return typed->toUtf8();
}

Result<SecretKey> readSecretKey(const QString& path, const QCommandLineParser& parser) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{QStringLiteral("the secret key %1 cannot be read: %2").arg(path, file.errorString())};
    const QByteArray text = file.read(64 * 1024);
    const Result<bool> encrypted = secretKeyIsEncrypted(text);
    if (!encrypted)
        return Error{QStringLiteral("the secret key %1: %2").arg(path, encrypted.error())};
    std::optional<QByteArray> secret;
    if (*encrypted) {
        Result<QByteArray> typed = passphrase(parser, QStringLiteral("Passphrase of %1: ").arg(path));
        if (!typed)
            return Error{typed.error()};
        secret = *typed;
    }
    Result<SecretKey> key = parseSecretKey(text, secret);
    if (!key)
        return Error{QStringLiteral("the secret key %1: %2").arg(path, key.error())};
    return key;
}

Result<TrustedKeys> clientTrustedKeys() {
    return loadTrustedKeys(SettingsStore::standard(), programFolder());
}

} // namespace tarnlow::cli
