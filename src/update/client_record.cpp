#include "update/client_record.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "update/download_engine.h"

#include <QDir>
#include <QFileInfo>

namespace tarnlow {
namespace {

// Longest texts the columns take; longer host names, users and messages are cut to fit rather
// than lose the whole row.
constexpr qsizetype kNameWidth = 255;
constexpr qsizetype kVersionWidth = 40;
constexpr qsizetype kMessageWidth = 2000;

const QString kColumns = QStringLiteral("MACHINE_ID, FOLDER, HOST_NAME, OS_USER, COMP_ID, PROGRAM_VERSION, "
                                        "LAST_CHECK, RESULT, MESSAGE_NO, MESSAGE_TEXT");

QString serverText(const Transaction& sqlca) {
    return sqlca.SQLErrText.isEmpty() ? QStringLiteral("SQL code %1").arg(sqlca.SQLCode) : sqlca.SQLErrText;
}

// One statement in a transaction of its own: committed when it succeeds, rolled back otherwise.
Result<void> runAlone(Transaction& sqlca, const std::function<int()>& statement) {
    const bool own = !sqlca.inTransaction();
    if (own && sqlca.begin() != kSqlSuccess)
        return Error{serverText(sqlca)};
    if (statement() < 0) {
        const QString text = serverText(sqlca);
        sqlca.rollback();
        return Error{text};
    }
    if (sqlca.commit() != kSqlSuccess)
        return Error{serverText(sqlca)};
    return {};
}

} // namespace

ClientTableSyntax clientTableSyntax(const Transaction& sqlca) {
    switch (sqlca.kind()) {
    case DbmsKind::SQLite:
    case DbmsKind::PostgreSQL:
        return ClientTableSyntax::Standard;
    case DbmsKind::SqlServer:
        return ClientTableSyntax::SqlServer;
    case DbmsKind::Odbc:
        break;
    }
    const QString system = sqlca.databaseSystemName();
    if (system.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) ||
        system.contains(QLatin1String("SQLite"), Qt::CaseInsensitive))
        return ClientTableSyntax::Standard;
    return ClientTableSyntax::SqlServer;
}

QString clientTableStatement(ClientTableSyntax syntax) {
    if (syntax == ClientTableSyntax::SqlServer)
        return QStringLiteral(
            "CREATE TABLE [dbo].[T_SYS_CLIENT] (\t[MACHINE_ID] [char] (64) NOT NULL ,\t[FOLDER] [nvarchar] "
            "(400) "
            "NOT NULL ,\t[HOST_NAME] [nvarchar] (255) NOT NULL ,\t[OS_USER] [nvarchar] (255) NOT NULL "
            ",\t[COMP_ID] "
            "[int] NOT NULL ,\t[PROGRAM_VERSION] [nvarchar] (40) NOT NULL ,\t[LAST_CHECK] [char] (24) NOT "
            "NULL ,\t"
            "[RESULT] [varchar] (6) NOT NULL ,\t[MESSAGE_NO] [int] NULL ,\t[MESSAGE_TEXT] [nvarchar] (2000) "
            "NULL ,\t"
            "CONSTRAINT [PK_T_SYS_CLIENT] PRIMARY KEY CLUSTERED ([MACHINE_ID], [FOLDER]) ) ON [PRIMARY]");
    return QStringLiteral(
        "CREATE TABLE T_SYS_CLIENT (MACHINE_ID char(64) NOT NULL, FOLDER varchar(400) NOT NULL, HOST_NAME "
        "varchar(255) NOT NULL, OS_USER varchar(255) NOT NULL, COMP_ID int NOT NULL, PROGRAM_VERSION "
        "varchar(40) NOT NULL, LAST_CHECK char(24) NOT NULL, RESULT varchar(6) NOT NULL, MESSAGE_NO int "
        "NULL, "
        "MESSAGE_TEXT varchar(2000) NULL, CONSTRAINT PK_T_SYS_CLIENT PRIMARY KEY (MACHINE_ID, FOLDER))");
}

QString clientUpsertStatement(ClientTableSyntax syntax) {
    if (syntax == ClientTableSyntax::SqlServer)
        // HOLDLOCK keeps the range of the key locked from the match to the write, so two clients of
        // the same key cannot both find no row and both insert.
        return QStringLiteral(
                   "MERGE T_SYS_CLIENT WITH (HOLDLOCK) AS target USING (VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                   "?)) "
                   "AS source (%1) ON target.MACHINE_ID = source.MACHINE_ID AND target.FOLDER = "
                   "source.FOLDER "
                   "WHEN MATCHED THEN UPDATE SET HOST_NAME = source.HOST_NAME, OS_USER = source.OS_USER, "
                   "COMP_ID = source.COMP_ID, PROGRAM_VERSION = source.PROGRAM_VERSION, LAST_CHECK = "
                   "source.LAST_CHECK, RESULT = source.RESULT, MESSAGE_NO = source.MESSAGE_NO, MESSAGE_TEXT "
                   "= "
                   "source.MESSAGE_TEXT WHEN NOT MATCHED THEN INSERT (%1) VALUES (source.MACHINE_ID, "
                   "source.FOLDER, source.HOST_NAME, source.OS_USER, source.COMP_ID, source.PROGRAM_VERSION, "
                   "source.LAST_CHECK, source.RESULT, source.MESSAGE_NO, source.MESSAGE_TEXT);")
            .arg(kColumns);
    return QStringLiteral(
               "INSERT INTO T_SYS_CLIENT (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT "
               "(MACHINE_ID, FOLDER) DO UPDATE SET HOST_NAME = excluded.HOST_NAME, OS_USER = "
               "excluded.OS_USER, COMP_ID = excluded.COMP_ID, PROGRAM_VERSION = "
               "excluded.PROGRAM_VERSION, LAST_CHECK = excluded.LAST_CHECK, RESULT = excluded.RESULT, "
               "MESSAGE_NO = excluded.MESSAGE_NO, MESSAGE_TEXT = excluded.MESSAGE_TEXT")
        .arg(kColumns);
}

QString checkTimeText(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QVariantList clientRowValues(const ClientCheck& check) {
    const QVariant noNumber(QMetaType::fromType<int>());
    const QVariant noText(QMetaType::fromType<QString>());
    return {check.identity.machine,
            check.folder,
            check.identity.host.left(kNameWidth),
            check.identity.user.left(kNameWidth),
            check.installedComponent,
            check.identity.version.left(kVersionWidth),
            checkTimeText(check.checkedAt),
            check.failure ? QStringLiteral("failed") : QStringLiteral("ok"),
            check.failure ? QVariant(check.failure->number) : noNumber,
            check.failure ? QVariant(check.failureText.left(kMessageWidth)) : noText};
}

Result<void> recordClientCheck(Transaction& sqlca, const ClientCheck& check) {
    const ClientTableSyntax syntax = clientTableSyntax(sqlca);
    const QString upsert = clientUpsertStatement(syntax);
    const QVariantList values = clientRowValues(check);
    const auto write = [&] { return sqlca.execute(upsert, values); };
    if (runAlone(sqlca, write))
        return {};
    // Most likely the table does not exist yet. Another client may be creating it at this very
    // moment, so a creation that fails is no reason to give up: the second write tells.
    const Result<void> created =
        runAlone(sqlca, [&] { return sqlca.executeImmediate(clientTableStatement(syntax)); });
    const Result<void> written = runAlone(sqlca, write);
    if (written)
        return {};
    if (!created)
        return Error{QStringLiteral("%1; the table cannot be created either: %2")
                         .arg(written.error(), created.error())};
    return Error{written.error()};
}

std::optional<NumberedMessage> recordVersionCheck(Transaction& sqlca, const SettingsStore& settings,
                                                  const QString& folder,
                                                  const std::optional<NumberedMessage>& failure) {
    ClientCheck check;
    check.identity = currentClientIdentity();
    check.folder = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    check.installedComponent = installedComponent(settings);
    check.checkedAt = QDateTime::currentDateTimeUtc();
    check.failure = failure;
    if (failure)
        check.failureText = messageText(*failure);
    if (const Result<void> recorded = recordClientCheck(sqlca, check); !recorded)
        return NumberedMessage{kMessageClientNotRecorded, {kClientTable, recorded.error()}};
    return std::nullopt;
}

} // namespace tarnlow
