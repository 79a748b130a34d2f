#include "update/import_signature.h"

#include "signing/file_signature.h"

#include "update/package_signature.h"
#include "update/signature_messages.h"

namespace tarnlow {

std::variant<ImportSignature, NumberedMessage>
checkImportSignature(const PackageReader& package, const QString& path, const TrustedKeys& trusted) {
    using State = PackageSignatureStatus::State;
    // The signature lies beside the package the operator named, also when it is read from a copy.
    const PackageSignatureStatus status = checkPackageSignature(package, trusted, signaturePathFor(path));
    ImportSignature result;
    if (trusted.isEmpty()) {
        if (status.state == State::Untrusted && status.carriesRecords)
            result.records = status.records;
        return result;
    }
    switch (status.state) {
    case State::Valid:
        break;
    case State::Missing:
        return NumberedMessage{kMsgSignatureRefused,
                               {path, QStringLiteral("it has no signature (%1)").arg(status.reason)}};
    case State::Unreadable:
    case State::Untrusted:
    case State::Invalid:
        return NumberedMessage{kMsgSignatureRefused, {path, status.reason}};
    }
    result.signedBy = status.keyId;
    result.records = status.records;
    if (!status.carriesRecords)
        result.warning = NumberedMessage{kMsgPackageWithoutRecords, {path, status.keyId->text()}};
    return result;
}

} // namespace tarnlow
