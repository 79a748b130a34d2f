#include "cli/commands.h"
#include "cli/signing_options.h"

#include "update/package_reader.h"
#include "update/package_signature.h"

#include <QCommandLineParser>

namespace tarnlow::cli {
namespace {

const QString kSecretKey = QStringLiteral("secret-key");
const QString kComment = QStringLiteral("trusted-comment");

void declareSign(QCommandLineParser& parser) {
    parser.addPositionalArgument(
        QStringLiteral("PATH"),
        QStringLiteral("The update package (.fuf); the signature goes to PATH.minisig."));
    parser.addOption(QCommandLineOption(
        kSecretKey, QStringLiteral("The secret key (minisign's format; required)."), QStringLiteral("FILE")));
    addPassphraseFileOption(parser,
                            QStringLiteral("Take the secret key's passphrase from the first line of FILE "
                                           "instead of asking for it on the terminal."));
    parser.addOption(QCommandLineOption(
        kComment, QStringLiteral("A text to put in front of the signed comment (one line, no tabs)."),
        QStringLiteral("TEXT")));
}

int runSign(const QCommandLineParser& parser) {
    const QStringList rest = parser.positionalArguments();
    if (rest.isEmpty())
        return usageError(signCommand, QStringLiteral("the path of the update package is missing"));
    if (rest.size() > 1)
        return usageError(signCommand, QStringLiteral("unexpected argument \"%1\"").arg(rest.at(1)));
    if (parser.value(kSecretKey).isEmpty())
        return usageError(signCommand, QStringLiteral("--secret-key FILE is required"));

    const Result<PackageReader> package = PackageReader::open(rest.first());
    if (!package)
        return fail(package.error());
    if (!package->problems().isEmpty())
        return fail(QStringLiteral("%1 is not a sound package, so it is not signed: %2")
                        .arg(terminalText(rest.first()), package->problemTexts().join(QStringLiteral("; "))));
    const Result<SecretKey> key = readSecretKey(parser.value(kSecretKey), parser);
    if (!key)
        return fail(key.error());
    const Result<FileSignature> signature = signPackage(*package, *key, parser.value(kComment).toUtf8());
    if (!signature)
        return fail(signature.error());
    printOut(
        QStringLiteral("signed %1 with key %2: %3")
            .arg(terminalText(rest.first()), key->id.text(), terminalText(signaturePathFor(rest.first()))));
    return kExitDone;
}

} // namespace

const Command signCommand{
    "sign",
    "sign an update package with a secret key, writing PATH.minisig",
    "sign PATH --secret-key FILE [--passphrase-file FILE] [--trusted-comment TEXT]",
    declareSign,
    runSign,
};

} // namespace tarnlow::cli
