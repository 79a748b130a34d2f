#include "cli/commands.h"
#include "cli/signing_options.h"
#include "host/output_file.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace tarnlow::cli {
namespace {

const QString kPublicKey = QStringLiteral("public-key");
const QString kSecretKey = QStringLiteral("secret-key");
const QString kUnencrypted = QStringLiteral("unencrypted");
const QString kCost = QStringLiteral("passphrase-cost");
const QString kForce = QStringLiteral("force");

void declareKeygen(QCommandLineParser& parser) {
    parser.addOption(QCommandLineOption(
        kPublicKey,
        QStringLiteral("Where the public key goes (default: minisign.pub in the current folder)."),
        QStringLiteral("FILE")));
    parser.addOption(QCommandLineOption(
        kSecretKey,
        QStringLiteral("Where the secret key goes (default: ~/.minisign/minisign.key), readable by you "
                       "only."),
        QStringLiteral("FILE")));
    parser.addOption(QCommandLineOption(
        kUnencrypted,
        QStringLiteral("Store the secret key without a passphrase, for automation. Anyone who can read "
                       "the file can then sign packages.")));
    addPassphraseFileOption(parser,
                            QStringLiteral("Take the passphrase from the first line of FILE instead of "
                                           "asking for it twice on the terminal."));
    parser.addOption(QCommandLineOption(
        kCost,
        QStringLiteral("How hard the passphrase is to guess by trial: sensitive (default, 1 GiB of memory, "
                       "as minisign) or interactive (16 MiB)."),
        QStringLiteral("COST")));
    parser.addOption(QCommandLineOption(kForce, QStringLiteral("Replace existing key files.")));
}

Result<void> writeKeyFile(const QString& path, const QByteArray& text, bool secret) {
    // A secret key's temporary file is its owner's alone before the key is in it.
    if (const Result<void> saved =
            saveWholeFile(path, text, secret ? FileAccess::OwnerOnly : FileAccess::Usual);
        !saved)
        return Error{QStringLiteral("%1 cannot be written: %2").arg(path, saved.error())};
    return {};
}

int runKeygen(const QCommandLineParser& parser) {
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            keygenCommand,
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    const bool unencrypted = parser.isSet(kUnencrypted);
    if (unencrypted && parser.isSet(kPassphraseFileOption))
        return usageError(keygenCommand,
                          QStringLiteral("--unencrypted and --passphrase-file exclude each other"));
    PassphraseCost cost = sensitivePassphraseCost();
    if (parser.isSet(kCost)) {
        const QString name = parser.value(kCost);
        if (name == QLatin1String("interactive"))
            cost = interactivePassphraseCost();
        else if (name != QLatin1String("sensitive"))
            return usageError(
                keygenCommand,
                QStringLiteral("--passphrase-cost is sensitive or interactive, not \"%1\"").arg(name));
    }
    const QString publicPath =
        parser.isSet(kPublicKey) ? parser.value(kPublicKey) : QStringLiteral("minisign.pub");
    QString secretPath = parser.value(kSecretKey);
    if (!parser.isSet(kSecretKey)) {
        const QString folder = QDir::home().filePath(QStringLiteral(".minisign"));
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("the folder %1 cannot be created").arg(folder));
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        secretPath = QDir(folder).filePath(QStringLiteral("minisign.key"));
    }
    if (publicPath.isEmpty() || secretPath.isEmpty())
        return usageError(keygenCommand, QStringLiteral("a key file name is empty"));
    if (QFileInfo(publicPath).absoluteFilePath() == QFileInfo(secretPath).absoluteFilePath())
        return usageError(keygenCommand, QStringLiteral("the public and the secret key need two files"));
    if (!parser.isSet(kForce)) {
        for (const QString& path : {publicPath, secretPath}) {
            if (QFileInfo::exists(path))
                return fail(QStringLiteral("%1 exists already; --force replaces it").arg(path));
        }
    }

    std::optional<QByteArray> secret;
    if (!unencrypted) {
        Result<QByteArray> first = passphrase(parser, QStringLiteral("Passphrase for the new secret key: "));
        if (!first)
            return fail(first.error());
        if (!parser.isSet(kPassphraseFileOption)) {
            const Result<QByteArray> again =
                passphrase(parser, QStringLiteral("The same passphrase again: "));
            if (!again)
                return fail(again.error());
            if (*again != *first)
                return fail(QStringLiteral("the two passphrases differ; no key was made"));
        }
        secret = *first;
    }

    const Result<KeyPair> pair = generateKeyPair();
    if (!pair)
        return fail(pair.error());
    const Result<QByteArray> secretText = secretKeyFileText(pair->secretKey, secret, cost);
    if (!secretText)
        return fail(secretText.error());
    if (const Result<void> written = writeKeyFile(secretPath, *secretText, true); !written)
        return fail(written.error());
    if (const Result<void> written = writeKeyFile(publicPath, pair->publicKey.fileText(), false); !written)
        return fail(written.error());
    printOut(QStringLiteral("key %1: public key %2, secret key %3%4")
                 .arg(pair->publicKey.id.text(), terminalText(publicPath), terminalText(secretPath),
                      unencrypted ? QStringLiteral(" (not encrypted)") : QString()));
    printOut(QStringLiteral("public key: %1").arg(QString::fromLatin1(pair->publicKey.base64())));
    return kExitDone;
}

} // namespace

const Command keygenCommand{
    "keygen",
    "make a key pair for signing update packages (minisign's format)",
    "keygen [--public-key FILE] [--secret-key FILE] [--unencrypted | --passphrase-file FILE] [--force]",
    declareKeygen,
    runKeygen,
};

} // namespace tarnlow::cli
