#include "update/import_engine.h"

#include "db/transaction.h"
#include "host/code_page.h"
#include "host/shown_text.h"
#include "update/import_signature.h"
#include "update/package_entry_stream.h"
#include "update/package_reader.h"
#include "update/signature_records.h"
#include "update/update_script_runner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <memory>

namespace tarnlow {
namespace {

const QString kDuplicateCheck =
    QStringLiteral("select count ( *) from t_sys_ver where ver_no = ? and comp_NO = ? ");
// Confirms a row whose insert the driver reported no count for.
const QString kRowCheck =
    QStringLiteral("select count ( *) from t_sys_ver where ver_no = ? and comp_NO = ? and update_index = ? ");
const QString kVersionTable = QStringLiteral("t_sys_ver");
const QStringList kRowColumns = {QStringLiteral("VER_NO"), QStringLiteral("COMP_NO"),
                                 QStringLiteral("UPDATE_INDEX"), QStringLiteral("FILE_NAME")};
const QString kBlobColumn = QStringLiteral("FILE_BLOB");

// A private copy of the package, so that the bytes whose signature was checked are the bytes that
// are stored and run: the package is read again by its path for every entry and the script, and a
// file put in its place after the check would otherwise be applied as if it had been signed.
Result<std::unique_ptr<QTemporaryFile>> snapshotOf(const QString& path) {
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly))
        return Error{
            QStringLiteral("the update package %1 cannot be opened: %2").arg(path, source.errorString())};
    auto copy =
        std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/tarnlow_as-import-XXXXXX.fuf"));
    if (!copy->open())
        return Error{QStringLiteral("a private copy of the update package cannot be made in %1: %2")
                         .arg(QDir::tempPath(), copy->errorString())};
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = source.read(buffer.data(), buffer.size());
        if (got < 0)
            return Error{
                QStringLiteral("the update package %1 cannot be read: %2").arg(path, source.errorString())};
        if (got == 0)
            break;
        if (copy->write(buffer.constData(), got) != got || !copy->flush())
            return Error{QStringLiteral("a private copy of the update package cannot be written in %1: %2")
                             .arg(QDir::tempPath(), copy->errorString())};
    }
    return copy;
}

ImportReport failed(ImportReport report, int message, QStringList parameters) {
    report.result = ImportResult::Failed;
    report.files.clear();
    report.scriptRan = false;
    report.failure = NumberedMessage{message, std::move(parameters)};
    return report;
}

// Undoes everything the package did so far and reports why. The rollback's own outcome does not
// change the report: the server discards an unfinished transaction in any case.
ImportReport rolledBack(Transaction& sqlca, ImportReport report, int message, QStringList parameters) {
    sqlca.rollback();
    return failed(std::move(report), message, std::move(parameters));
}

QString serverText(const Transaction& sqlca) {
    return sqlca.SQLErrText.isEmpty() ? QStringLiteral("SQL code %1").arg(sqlca.SQLCode) : sqlca.SQLErrText;
}

} // namespace

QString importVersionLabel(const QString& version, int component) {
    return version + QLatin1Char('.') + QString::number(component);
}

namespace {

// What the package holds, settled before the database sees any of it.
struct PlannedImport {
    bool hasScript = false;
    QString script;
    QList<ImportFile> files;
};

// Reads the package's numbers, script and names into the report and the plan; the refusal when
// the package is not sound. A file that is not a sound package must never have its tail run as
// SQL.
std::optional<ImportReport> planImport(const PackageReader& package, const QString& path,
                                       ImportReport& report, PlannedImport& plan) {
    // A file that does not begin as a package (another file picked by mistake) is said to be no
    // package first; the byte-level findings follow for whoever made it.
    if (package.isNotAPackage())
        return failed(report, kMsgImportNotAPackage,
                      {path, package.problemTexts().join(QStringLiteral("; "))});
    if (!package.problems().isEmpty())
        return failed(report, kMsgImportPackageRefused,
                      {path, package.problemTexts().join(QStringLiteral("; "))});
    const std::optional<int> component = package.componentNumber();
    if (!component)
        return failed(report, kMsgImportPackageRefused,
                      {path, QStringLiteral("the component number is not a number")});
    Result<QString> version = fromSystemCodePage(package.versionField());
    if (!version)
        return failed(report, kMsgImportPackageRefused,
                      {path, QStringLiteral("the version number: ") + version.error()});
    report.version = *version;
    report.component = *component;

    plan.hasScript = package.sqlStart() > 0;
    if (plan.hasScript) {
        Result<QString> text = package.sqlScript();
        if (!text)
            return failed(report, kMsgImportPackageRefused, {path, text.error()});
        plan.script = *text;
    }

    for (int index = 1; index <= kPackageEntryCount; ++index) {
        const std::optional<PackageEntry>& entry = package.entry(index);
        if (!entry)
            continue;
        ImportFile file;
        file.entry = index;
        file.updateIndex = static_cast<int>(plan.files.size()) + 1;
        file.versionLabel = importVersionLabel(report.version, report.component);
        file.name = entry->storedName;
        file.size = entry->size();
        plan.files.append(file);
    }
    return std::nullopt;
}

// Runs the script inside the import's transaction; the failure, with the transaction rolled
// back, when it fails or does not leave the transaction as it found it.
std::optional<ImportReport> runScript(Transaction& sqlca, const QString& path, const QString& script,
                                      std::optional<ScriptDialect> dialect, ImportReport& report) {
    const ScriptRun run = runUpdateScript(sqlca, script, dialect);
    const QStringList depths = {path, QString::number(run.depthBefore), QString::number(run.depthAfter)};
    switch (run.outcome) {
    case ScriptRun::Outcome::Ran:
        report.scriptRan = true;
        return std::nullopt;
    case ScriptRun::Outcome::TransactionEnded:
        return rolledBack(sqlca, report, kMsgImportTransactionEnded, depths);
    case ScriptRun::Outcome::TransactionLeftOpen:
        return rolledBack(sqlca, report, kMsgImportTransactionLeftOpen, depths);
    case ScriptRun::Outcome::DepthUnreadable:
        return rolledBack(sqlca, report, kMsgImportDatabaseFailed, {path, run.failure});
    case ScriptRun::Outcome::Failed:
        break;
    }
    const QString reason = run.failure;
    sqlca.rollback();
    // Opening a stored package again runs its script again, and a script that creates something
    // fails the second time; say that the package itself is in place.
    const std::optional<QVariantList> stored =
        sqlca.selectInto(kDuplicateCheck, {report.version, report.component});
    const bool alreadyStored = stored && !stored->isEmpty() && stored->at(0).toLongLong() > 0;
    return failed(report, alreadyStored ? kMsgImportStoredScriptFailed : kMsgImportScriptFailed,
                  {path, reason});
}

// Stores one row per file, its bytes streamed from the package; the failure, with the transaction
// rolled back, when one cannot be.
std::optional<ImportReport> storeFiles(Transaction& sqlca, const PackageReader& package, const QString& path,
                                       const QList<ImportFile>& files, const ImportObserver& observer,
                                       ImportReport& report) {
    qint64 total = 0;
    for (const ImportFile& file : files)
        total += file.size;
    qint64 done = 0;
    for (const ImportFile& file : files) {
        if (observer.fileStarted)
            observer.fileStarted(file);
        Result<PackageEntryStream> opened = PackageEntryStream::open(package, file.entry);
        if (!opened)
            return rolledBack(sqlca, report, kMsgImportStoreFailed,
                              {shownName(file.name), path, opened.error()});
        PackageEntryStream& stream = *opened;
        // A stop asked for by the observer is its reason, not the database's.
        std::optional<QString> stopped;
        const BlobPieceSource source = [&](char* buffer, qint64 capacity) -> Result<qint64> {
            Result<qint64> got = stream.read(buffer, capacity);
            if (!got) {
                stopped = got.error();
                return got;
            }
            done += *got;
            if (observer.bytes && *got > 0) {
                if (Result<void> goOn = observer.bytes(done, total); !goOn) {
                    stopped = goOn.error();
                    return Error{goOn.error()};
                }
            }
            return got;
        };
        if (sqlca.insertBlobRow(kVersionTable, kRowColumns,
                                {report.version, report.component, file.updateIndex, file.name}, kBlobColumn,
                                stream.size(), source) < 0)
            return rolledBack(sqlca, report, kMsgImportStoreFailed,
                              {shownName(file.name), path, stopped.value_or(serverText(sqlca))});
        // Without a count from the driver the row is looked for instead.
        const std::optional<QVariantList> found =
            sqlca.SQLNRows < 0
                ? sqlca.selectInto(kRowCheck, {report.version, report.component, file.updateIndex})
                : std::nullopt;
        const qint64 stored = found && !found->isEmpty() ? found->first().toLongLong() : sqlca.SQLNRows;
        if (stored != 1)
            return rolledBack(sqlca, report, kMsgImportStoreFailed,
                              {shownName(file.name), path, QStringLiteral("the row was not stored")});
        report.files.append(file);
    }
    return std::nullopt;
}

// Stores the package's signed file records beside its rows (and drops stale ones of the same
// version and component); the failure, with the transaction rolled back, when they cannot be.
std::optional<ImportReport> storeRecords(Transaction& sqlca, const QString& path,
                                         const ImportSignature& signature, ImportReport& report) {
    if (Result<void> stored =
            replaceSignatureRecords(sqlca, report.version, report.component, signature.records);
        !stored)
        return rolledBack(sqlca, report, kMsgImportStoreFailed,
                          {kSignatureRecordTable, path, stored.error()});
    report.signedBy = signature.signedBy ? signature.signedBy->text() : QString();
    report.warning = signature.warning;
    return std::nullopt;
}

} // namespace

ImportReport importPackage(Transaction& sqlca, const QString& path, const ImportProgress& progress) {
    return importPackage(sqlca, path, ImportObserver{progress, {}});
}

ImportReport importPackage(Transaction& sqlca, const QString& path, const ImportObserver& observer) {
    return importPackage(sqlca, path, observer, TrustedKeys{});
}

ImportReport importPackage(Transaction& sqlca, const QString& path, const ImportObserver& observer,
                           const TrustedKeys& trusted) {
    ImportReport report;
    // With trusted keys the package is checked and applied from one private copy.
    std::unique_ptr<QTemporaryFile> snapshot;
    if (!trusted.isEmpty()) {
        Result<std::unique_ptr<QTemporaryFile>> copied = snapshotOf(path);
        if (!copied)
            return failed(report, kMsgImportPackageRefused, {path, copied.error()});
        snapshot = std::move(*copied);
    }
    Result<PackageReader> opened = PackageReader::open(snapshot ? snapshot->fileName() : path);
    if (!opened)
        return failed(report, kMsgImportPackageRefused, {path, opened.error()});
    const PackageReader& package = *opened;
    PlannedImport plan;
    if (std::optional<ImportReport> refused = planImport(package, path, report, plan))
        return *refused;
    const std::variant<ImportSignature, NumberedMessage> signature =
        checkImportSignature(package, path, trusted);
    if (const NumberedMessage* refusal = std::get_if<NumberedMessage>(&signature))
        return failed(report, refusal->number, refusal->parameters);

    if (!sqlca.isConnected())
        return failed(report, kMsgImportNotConnected, {path});
    // The script is judged the way the connected database will read it, before anything runs.
    const std::optional<ScriptDialect> dialect = connectedScriptDialect(sqlca);
    if (plan.hasScript && package.scriptVerdicts()) {
        if (const std::optional<QString> refused = connectedRefusal(*package.scriptVerdicts(), dialect))
            return failed(
                report, kMsgImportScriptRefusedHere,
                {path, dialect ? scriptDialectName(*dialect) : sqlca.databaseSystemName(), *refused});
    }

    // One transaction for the script, the check and every row: a second importer of the same
    // package waits here until the first has committed, then finds the package stored.
    if (sqlca.beginLocked(kImportLockName) != kSqlSuccess)
        return failed(report, kMsgImportDatabaseFailed, {path, serverText(sqlca)});
    if (plan.hasScript) {
        if (std::optional<ImportReport> scriptFailed = runScript(sqlca, path, plan.script, dialect, report))
            return *scriptFailed;
    }

    const std::optional<QVariantList> count =
        sqlca.selectInto(kDuplicateCheck, {report.version, report.component});
    if (sqlca.SQLCode < 0 || !count || count->isEmpty())
        return rolledBack(sqlca, report, kMsgImportDatabaseFailed, {path, serverText(sqlca)});
    if (count->at(0).toLongLong() > 0) {
        // The package is stored already; the script has run again, as it does for every opening.
        if (sqlca.commit() != kSqlSuccess)
            return rolledBack(sqlca, report, kMsgImportDatabaseFailed, {path, serverText(sqlca)});
        report.result = ImportResult::AlreadyStored;
        return report;
    }

    if (std::optional<ImportReport> storeFailed =
            storeFiles(sqlca, package, path, plan.files, observer, report))
        return *storeFailed;
    if (std::optional<ImportReport> recordsFailed =
            storeRecords(sqlca, path, std::get<ImportSignature>(signature), report))
        return *recordsFailed;
    if (sqlca.commit() != kSqlSuccess)
        return rolledBack(sqlca, report, kMsgImportDatabaseFailed, {path, serverText(sqlca)});
    report.result = ImportResult::Stored;
    return report;
}

} // namespace tarnlow
