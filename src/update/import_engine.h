#pragma once

#include "host/numbered_message.h"
#include "host/result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnlow {

class Transaction;
struct TrustedKeys;

// Numbered messages of the import, each with its parameters in the order given.
inline constexpr int kMsgImportPackageRefused = 10300;      // package path, what is wrong with it
inline constexpr int kMsgImportScriptFailed = 10301;        // package path, the server's text
inline constexpr int kMsgImportStoreFailed = 10302;         // file name, package path, the reason
inline constexpr int kMsgImportDatabaseFailed = 10303;      // package path, the server's text
inline constexpr int kMsgImportNotConnected = 10304;        // package path
inline constexpr int kMsgImportStoredScriptFailed = 10305;  // package path, the server's text
inline constexpr int kMsgImportScriptRefusedHere = 10308;   // package path, the database, why
inline constexpr int kMsgImportTransactionEnded = 10309;    // package path, @@TRANCOUNT before, after
inline constexpr int kMsgImportTransactionLeftOpen = 10310; // package path, @@TRANCOUNT before, after
inline constexpr int kMsgImportNotAPackage = 10316;         // package path, what is wrong with it

// One file of a package, as the import announces it right before storing it.
struct ImportFile {
    int entry = 0;        // package entry 1..4
    int updateIndex = 0;  // UPDATE_INDEX of its row: 1, 2, ... over the used entries only
    QString versionLabel; // version text, ".", component in decimal ("01.7")
    QString name;         // the 32-byte name field, trailing blanks included
    qint64 size = 0;
};

enum class ImportResult {
    Stored,        // the script (if any) ran and every file of the package is stored
    AlreadyStored, // version and component were stored before: the script ran, no file stored
    Failed,        // nothing of the package is stored; failure says why
};

struct ImportReport {
    ImportResult result = ImportResult::Failed;
    QString version; // the 2-byte version field, unchanged
    int component = 0;
    bool scriptRan = false;
    QList<ImportFile> files;                // the files stored, in order
    std::optional<NumberedMessage> failure; // why nothing was stored
    QString signedBy;                       // id of the trusted key whose signature was checked, if any
    std::optional<NumberedMessage> warning; // what the operator should know although the package was stored
};

// Called once per file before its row is written.
using ImportProgress = std::function<void(const ImportFile& file)>;

// What a front end hears while the files of a package are stored, and where it can stop them.
struct ImportObserver {
    // Once per file, before its row is written.
    ImportProgress fileStarted;
    // After every piece of a file has gone to the database: the bytes stored so far and the bytes
    // of every file of the package together. An error stops the import with that reason, and the
    // whole package rolls back.
    std::function<Result<void>(qint64 done, qint64 total)> bytes;
};

// The name under which concurrent importers serialise in the database.
inline const QString kImportLockName = QStringLiteral("tarnlow_as.import");

// "01" and 7 give "01.7".
QString importVersionLabel(const QString& version, int component);

// Applies the package at `path` to the database of `sqlca` (connected): validates the package and
// judges its SQL script for the connected database before anything reaches the database, then,
// in one transaction under the import lock, runs the script (on SQL Server batch by batch, and
// checks that the transaction is still the import's afterwards), checks whether its version and
// component are stored already, and stores every used file entry as one T_SYS_VER row. Any failure
// rolls the whole package back, script included, so a retry finds the database as it was.
ImportReport importPackage(Transaction& sqlca, const QString& path, const ImportProgress& progress = {});
// The same, with the byte-level observer: each file is read from the package and written into its
// row in pieces, so that memory stays bounded whatever the file's size.
ImportReport importPackage(Transaction& sqlca, const QString& path, const ImportObserver& observer);
// The same under the client's trusted keys: with any, a package without a valid signature from
// one of them is refused before anything runs. A signed package's file records are stored in
// T_SYS_VER_SIGN beside its files, in the same transaction.
ImportReport importPackage(Transaction& sqlca, const QString& path, const ImportObserver& observer,
                           const TrustedKeys& trusted);

} // namespace tarnlow
