#include "update/client_list.h"

#include "db/dialect.h"
#include "db/transaction.h"
#include "update/client_record.h"

#include <QJsonObject>

namespace tarnlow {
namespace {

const QString kSelectClients =
    QStringLiteral("SELECT machine_id, folder, host_name, os_user, comp_id, program_version, last_check, "
                   "result, message_no, "
                   "message_text FROM t_sys_client ORDER BY last_check DESC, host_name, folder");
const QString kHighestComponent = QStringLiteral("SELECT max(comp_no) FROM t_sys_ver");
const QString kDeleteMachine = QStringLiteral("DELETE FROM t_sys_client WHERE machine_id = ?");

QString serverText(const Transaction& sqlca) {
    return sqlca.SQLErrText.isEmpty() ? QStringLiteral("SQL code %1").arg(sqlca.SQLCode) : sqlca.SQLErrText;
}

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

// Whether the client table is known to be missing. A catalog that cannot be read (an ODBC data
// source of another kind, say) leaves the failure as it was.
bool tableMissing(Transaction& sqlca) {
    const std::optional<QVariantList> row =
        sqlca.selectInto(sqlca.dialect().tableExistsQuery(), {kClientTable.toLower()});
    if (!row)
        return sqlca.SQLCode == kSqlNotFound;
    return row->value(0).toLongLong() == 0;
}

} // namespace

QString ClientRow::messageLine() const {
    if (ok)
        return {};
    return messageNumber ? QStringLiteral("%1: %2").arg(*messageNumber).arg(message) : message;
}

Result<QList<ClientRow>> readClients(Transaction& sqlca) {
    const std::optional<QList<QVariantList>> rows = sqlca.selectAll(kSelectClients);
    if (!rows && sqlca.SQLCode != kSqlNotFound) {
        const QString text = serverText(sqlca);
        if (tableMissing(sqlca))
            return QList<ClientRow>{};
        return Error{QStringLiteral("%1 cannot be read: %2").arg(kClientTable, text)};
    }
    const std::optional<QVariantList> highest = sqlca.selectInto(kHighestComponent);
    if (!highest && sqlca.SQLCode != kSqlNotFound)
        return Error{QStringLiteral("T_SYS_VER cannot be read: %1").arg(serverText(sqlca))};
    const QVariant top = highest ? highest->value(0) : QVariant();

    QList<ClientRow> clients;
    for (const QVariantList& row : rows.value_or(QList<QVariantList>{})) {
        ClientRow client;
        client.machine = withoutTrailingBlanks(row.value(0).toString());
        client.folder = withoutTrailingBlanks(row.value(1).toString());
        client.host = withoutTrailingBlanks(row.value(2).toString());
        client.user = withoutTrailingBlanks(row.value(3).toString());
        client.componentId = row.value(4).toInt();
        client.version = withoutTrailingBlanks(row.value(5).toString());
        client.lastCheck = withoutTrailingBlanks(row.value(6).toString());
        client.ok = withoutTrailingBlanks(row.value(7).toString()) != QLatin1String("failed");
        if (!row.value(8).isNull())
            client.messageNumber = row.value(8).toInt();
        client.message = row.value(9).isNull() ? QString() : row.value(9).toString();
        client.behind = !top.isNull() && client.componentId < top.toLongLong();
        clients.append(client);
    }
    return clients;
}

Result<qint64> forgetMachine(Transaction& sqlca, const QString& machine) {
    if (sqlca.begin() != kSqlSuccess)
        return Error{serverText(sqlca)};
    if (sqlca.execute(kDeleteMachine, {machine}) < 0) {
        const QString text = serverText(sqlca);
        sqlca.rollback();
        if (tableMissing(sqlca))
            return qint64{0};
        return Error{QStringLiteral("the rows cannot be removed from %1: %2").arg(kClientTable, text)};
    }
    const qint64 removed = sqlca.SQLNRows;
    if (sqlca.commit() != kSqlSuccess)
        return Error{serverText(sqlca)};
    return removed;
}

QJsonArray clientsJson(const QList<ClientRow>& clients) {
    QJsonArray array;
    for (const ClientRow& client : clients) {
        QJsonObject object;
        object.insert(QStringLiteral("machine"), client.machine);
        object.insert(QStringLiteral("host"), client.host);
        object.insert(QStringLiteral("user"), client.user);
        object.insert(QStringLiteral("folder"), client.folder);
        object.insert(QStringLiteral("comp_id"), client.componentId);
        object.insert(QStringLiteral("version"), client.version);
        object.insert(QStringLiteral("last_check"), client.lastCheck);
        object.insert(QStringLiteral("result"), client.ok ? QStringLiteral("ok") : QStringLiteral("failed"));
        object.insert(QStringLiteral("message"), client.ok ? QJsonValue() : QJsonValue(client.messageLine()));
        object.insert(QStringLiteral("behind"), client.behind);
        array.append(object);
    }
    return array;
}

} // namespace tarnlow
