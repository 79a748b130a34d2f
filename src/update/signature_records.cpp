#include "update/signature_records.h"

#include "db/dialect.h"
#include "db/transaction.h"
#include "update/d_ver.h"

namespace tarnlow {
namespace {

const QString kDeleteRecords = QStringLiteral("DELETE FROM t_sys_ver_sign WHERE ver_no = ? AND comp_no = ?");
const QString kInsertRecord =
    QStringLiteral("INSERT INTO t_sys_ver_sign ( VER_NO , COMP_NO , UPDATE_INDEX , FILE_NAME , FILE_SIZE , "
                   "FILE_SHA256 , KEY_ID , RECORD_SIGN ) VALUES ( ? , ? , ? , ? , ? , ? , ? , ? )");
const QString kSelectRecords = QStringLiteral("SELECT ver_no, comp_no, update_index, file_name, file_size, "
                                              "file_sha256, key_id, record_sign FROM t_sys_ver_sign");

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

QString serverText(const Transaction& sqlca) {
    return sqlca.SQLErrText.isEmpty() ? QStringLiteral("SQL code %1").arg(sqlca.SQLCode) : sqlca.SQLErrText;
}

Result<bool> tableExists(Transaction& sqlca) {
    const std::optional<QVariantList> row =
        sqlca.selectInto(sqlca.dialect().tableExistsQuery(), {kSignatureRecordTable.toLower()});
    if (!row) {
        if (sqlca.SQLCode == kSqlNotFound)
            return false;
        return Error{QStringLiteral("the catalog cannot be read: ") + serverText(sqlca)};
    }
    return row->value(0).toLongLong() > 0;
}

// The key id of a record as stored: sixteen hex digits, the same text KeyId::text gives.
std::optional<KeyId> keyIdFromText(const QString& text) {
    const QByteArray hex = text.trimmed().toLatin1();
    if (hex.size() != 16)
        return std::nullopt;
    const QByteArray bigEndian = QByteArray::fromHex(hex);
    if (bigEndian.size() != 8 || bigEndian.toHex().toUpper() != hex.toUpper())
        return std::nullopt;
    QByteArray raw;
    for (auto byte = bigEndian.crbegin(); byte != bigEndian.crend(); ++byte)
        raw.append(*byte);
    return KeyId::fromRaw(raw);
}

} // namespace

QString signatureTableStatement(const Transaction& sqlca) {
    switch (sqlca.dialect().kind()) {
    case DbmsKind::SqlServer:
    case DbmsKind::Odbc:
        return QStringLiteral(
            "CREATE TABLE [dbo].[T_SYS_VER_SIGN] (\t[VER_NO] [char] (10) NOT NULL ,\t[COMP_NO] [int] NOT "
            "NULL "
            ",\t[UPDATE_INDEX] [int] NOT NULL ,\t[FILE_NAME] [char] (255) NOT NULL ,\t[FILE_SIZE] [int] NOT "
            "NULL ,\t[FILE_SHA256] [char] (64) NOT NULL ,\t[KEY_ID] [char] (16) NOT NULL ,\t[RECORD_SIGN] "
            "[char] (88) NOT NULL ,\tCONSTRAINT [PK_T_SYS_VER_SIGN] PRIMARY KEY CLUSTERED ([VER_NO], "
            "[COMP_NO], [UPDATE_INDEX]) ) ON [PRIMARY]");
    case DbmsKind::SQLite:
    case DbmsKind::PostgreSQL:
        break;
    }
    return QStringLiteral("CREATE TABLE T_SYS_VER_SIGN (VER_NO char(10) NOT NULL, COMP_NO int NOT NULL, "
                          "UPDATE_INDEX int NOT NULL, FILE_NAME char(255) NOT NULL, FILE_SIZE int NOT NULL, "
                          "FILE_SHA256 char(64) NOT NULL, KEY_ID char(16) NOT NULL, RECORD_SIGN char(88) NOT "
                          "NULL, CONSTRAINT PK_T_SYS_VER_SIGN PRIMARY KEY (VER_NO, COMP_NO, UPDATE_INDEX))");
}

Result<void> replaceSignatureRecords(Transaction& sqlca, const QString& version, int component,
                                     const QList<FileRecord>& records) {
    const Result<bool> exists = tableExists(sqlca);
    if (!exists)
        return Error{exists.error()};
    if (!*exists) {
        if (records.isEmpty())
            return {};
        if (sqlca.executeImmediate(signatureTableStatement(sqlca)) < 0)
            return Error{QStringLiteral("table %1 cannot be created: %2")
                             .arg(kSignatureRecordTable, serverText(sqlca))};
    } else if (sqlca.execute(kDeleteRecords, {version, component}) < 0) {
        return Error{QStringLiteral("old records cannot be removed from %1: %2")
                         .arg(kSignatureRecordTable, serverText(sqlca))};
    }
    for (const FileRecord& record : records) {
        if (sqlca.execute(kInsertRecord,
                          {version, component, record.updateIndex, record.name,
                           static_cast<qint32>(record.size), QString::fromLatin1(record.sha256.toHex()),
                           record.keyId.text(), QString::fromLatin1(record.signature.toBase64())}) < 0)
            return Error{QStringLiteral("the record of %1 cannot be stored in %2: %3")
                             .arg(record.name, kSignatureRecordTable, serverText(sqlca))};
    }
    return {};
}

Result<SignatureRecords> SignatureRecords::read(Transaction& sqlca) {
    SignatureRecords result;
    const Result<bool> exists = tableExists(sqlca);
    if (!exists)
        return Error{exists.error()};
    if (!*exists)
        return result;
    const std::optional<QList<QVariantList>> rows = sqlca.selectAll(kSelectRecords);
    if (!rows) {
        if (sqlca.SQLCode == kSqlNotFound)
            return result;
        return Error{QStringLiteral("%1 cannot be read: %2").arg(kSignatureRecordTable, serverText(sqlca))};
    }
    for (const QVariantList& row : *rows) {
        FileRecord record;
        record.version = withoutTrailingBlanks(row.value(0).toString());
        record.component = row.value(1).toInt();
        record.updateIndex = row.value(2).toInt();
        record.name = withoutTrailingBlanks(row.value(3).toString());
        record.size = row.value(4).toLongLong();
        record.sha256 = QByteArray::fromHex(row.value(5).toString().trimmed().toLatin1());
        // A damaged key id or signature leaves an empty field, which no key verifies.
        if (const std::optional<KeyId> id = keyIdFromText(row.value(6).toString()))
            record.keyId = *id;
        record.signature = QByteArray::fromBase64(row.value(7).toString().trimmed().toLatin1());
        result.m_records.append(record);
    }
    return result;
}

std::optional<FileRecord> SignatureRecords::forRow(const VersionRow& row) const {
    const QString version = withoutTrailingBlanks(row.versionNumber);
    for (const FileRecord& record : m_records) {
        if (record.version == version && record.component == row.componentNumber &&
            record.updateIndex == row.updateIndex) {
            FileRecord own = record;
            own.name = withoutTrailingBlanks(row.fileName);
            return own;
        }
    }
    return std::nullopt;
}

Result<void> checkDownloadedFile(const VersionRow& row, qint64 size, const QByteArray& sha256,
                                 const SignatureRecords& records, const TrustedKeys& trusted) {
    const std::optional<FileRecord> record = records.forRow(row);
    if (!record) {
        if (trusted.isEmpty())
            return {};
        return Error{QStringLiteral("it has no signed record in %1").arg(kSignatureRecordTable)};
    }
    if (!trusted.isEmpty()) {
        const PublicKey* key = trusted.find(record->keyId);
        if (!key)
            return Error{
                QStringLiteral("its record is signed by key %1, which is not among the trusted keys (%2)")
                    .arg(record->keyId.text(), trusted.idsText())};
        if (Result<void> verified = verifyFileRecord(*record, *key); !verified)
            return Error{verified.error()};
    }
    if (record->size != size)
        return Error{
            QStringLiteral("it holds %1 bytes, its signed record says %2").arg(size).arg(record->size)};
    if (record->sha256 != sha256)
        return Error{
            QStringLiteral("its bytes differ from its signed record (SHA-256 %1, recorded %2)")
                .arg(QString::fromLatin1(sha256.toHex()), QString::fromLatin1(record->sha256.toHex()))};
    return {};
}

} // namespace tarnlow
