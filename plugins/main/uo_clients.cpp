#include "uo_clients.h"

#include "db/transaction.h"
#include "lang/f_msgbox.h"
#include "lang/language_lookup.h"
#include "lang/uo_std_cb.h"
#include "update/client_list.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace tarnlow {
namespace {

constexpr int kMessageClientSummary = 10720; // clients, behind, failed
constexpr int kMessageNoClients = 10721;
// What a column sorts by, where its text would sort wrongly (numbers, the marks).
constexpr int kSortRole = Qt::UserRole + 1;
// Marks of the state column; 0 ok, so that an ascending sort puts the clients needing care last.
constexpr int kStateOk = 0;
constexpr int kStateBehind = 1;
constexpr int kStateFailed = 2;

struct ColumnText {
    const char* key;
    const char* design;
};

constexpr ColumnText kHeaders[uo_clients::ColumnCount] = {
    {"CLIENTS_STATE", "状态"},
    {"CLIENTS_HOST", "主机"},
    {"CLIENTS_USER", "用户"},
    {"CLIENTS_FOLDER", "程序文件夹"},
    {"CLIENTS_COMP_ID", "Comp_ID"},
    {"CLIENTS_VERSION", "版本"},
    {"CLIENTS_LAST_CHECK", "最后检查时间 (UTC)"},
    {"CLIENTS_MESSAGE", "消息"},
    {"CLIENTS_MACHINE", "机器"},
};

QString text(const char* key, const char* design) {
    return lookup(QStringLiteral("TEXT"), QLatin1String(key), QString::fromUtf8(design));
}

// "failed, behind": every mark that applies, in the current language.
QString stateText(int state, bool behind) {
    QStringList marks;
    if (state == kStateFailed)
        marks << text("CLIENTS_FAILED", "失败");
    if (behind)
        marks << text("CLIENTS_BEHIND", "落后");
    if (marks.isEmpty())
        marks << text("CLIENTS_OK", "正常");
    return marks.join(QStringLiteral(", "));
}

QStandardItem* cell(const QString& shown, const QVariant& sortKey = {}) {
    auto* item = new QStandardItem(shown);
    item->setEditable(false);
    item->setData(sortKey.isValid() ? sortKey : QVariant(shown), kSortRole);
    return item;
}

} // namespace

uo_clients::uo_clients(Transaction* sqlca, QWidget* parent)
    : QWidget(parent)
    , m_sqlca(sqlca) {
    setObjectName(QStringLiteral("UO_CLIENTS"));
    auto* layout = new QVBoxLayout(this);

    m_model = new QStandardItemModel(0, ColumnCount, this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(kSortRole);
    dw_clients = new QTableView(this);
    dw_clients->setObjectName(QStringLiteral("dw_clients"));
    dw_clients->setModel(m_sorted);
    dw_clients->setSortingEnabled(true);
    dw_clients->setSelectionBehavior(QAbstractItemView::SelectRows);
    dw_clients->setAlternatingRowColors(false);
    dw_clients->verticalHeader()->hide();
    dw_clients->horizontalHeader()->setStretchLastSection(true);
    dw_clients->sortByColumn(LastCheck, Qt::DescendingOrder);
    layout->addWidget(dw_clients, 1);

    auto* bottom = new QHBoxLayout;
    st_status = new QLabel(this);
    st_status->setObjectName(QStringLiteral("st_status"));
    st_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    st_status->setWordWrap(true);
    cb_refresh = new uo_std_cb(QStringLiteral("CLIENTS_REFRESH"), QStringLiteral("刷新(&R)"), this);
    cb_refresh->setObjectName(QStringLiteral("cb_refresh"));
    cb_refresh->setToolTip(QStringLiteral("F5"));
    cb_refresh->postChangeLanguage();
    bottom->addWidget(st_status, 1);
    bottom->addWidget(cb_refresh);
    layout->addLayout(bottom);
    connect(cb_refresh, &QPushButton::clicked, this, &uo_clients::refresh);
    auto* f5 = new QShortcut(QKeySequence::Refresh, this);
    f5->setContext(Qt::WidgetWithChildrenShortcut);
    connect(f5, &QShortcut::activated, this, &uo_clients::refresh);

    applyHeaders();
    refresh();
    setFocusProxy(dw_clients);
}

void uo_clients::refresh() {
    m_status.reset();
    if (m_sqlca == nullptr || !m_sqlca->isConnected()) {
        m_model->removeRows(0, m_model->rowCount());
        m_status =
            NumberedMessage{kMessageClientListUnreadable, {QStringLiteral("not connected to a database")}};
        m_statusFailure = true;
        showStatus();
        return;
    }
    const Result<QList<ClientRow>> clients = readClients(*m_sqlca);
    if (!clients) {
        // The rows shown before stay, so that a passing failure does not empty the window.
        m_status = NumberedMessage{kMessageClientListUnreadable, {clients.error()}};
        m_statusFailure = true;
        showStatus();
        return;
    }
    fill(*clients);
    qsizetype behind = 0;
    qsizetype failed = 0;
    for (const ClientRow& client : *clients) {
        behind += client.behind ? 1 : 0;
        failed += client.ok ? 0 : 1;
    }
    m_status = clients->isEmpty() ? NumberedMessage{kMessageNoClients, {}}
                                  : NumberedMessage{kMessageClientSummary,
                                                    {QString::number(clients->size()),
                                                     QString::number(behind), QString::number(failed)}};
    m_statusFailure = false;
    showStatus();
}

void uo_clients::fill(const QList<ClientRow>& clients) {
    m_model->removeRows(0, m_model->rowCount());
    const QColor behindColour(255, 236, 179);
    const QColor failedColour(255, 205, 210);
    for (const ClientRow& client : clients) {
        const int state = !client.ok ? kStateFailed : client.behind ? kStateBehind : kStateOk;
        QList<QStandardItem*> row(ColumnCount, nullptr);
        row[State] = cell(stateText(state, client.behind), state * 2 + (client.behind ? 1 : 0));
        row[State]->setData(client.behind, Qt::UserRole);
        row[Host] = cell(client.host);
        row[User] = cell(client.user);
        row[Folder] = cell(client.folder);
        row[ComponentId] = cell(QString::number(client.componentId), client.componentId);
        row[Version] = cell(client.version);
        row[LastCheck] = cell(client.lastCheck);
        row[Message] = cell(client.messageLine());
        row[Message]->setToolTip(client.messageLine()); // long texts are cut at the window's edge
        row[Machine] = cell(client.machine);
        if (state != kStateOk)
            for (QStandardItem* item : row)
                item->setBackground(state == kStateFailed ? failedColour : behindColour);
        if (client.behind) {
            QFont bold = row[ComponentId]->font();
            bold.setBold(true);
            row[ComponentId]->setFont(bold);
        }
        m_model->appendRow(row);
    }
    dw_clients->resizeColumnsToContents();
}

void uo_clients::applyHeaders() {
    for (int column = 0; column < ColumnCount; ++column)
        m_model->setHeaderData(column, Qt::Horizontal, text(kHeaders[column].key, kHeaders[column].design));
    setWindowTitle(text("CLIENTS_TITLE", "客户端"));
}

void uo_clients::showStatus() {
    st_status->setText(m_status ? messageText(*m_status) : QString());
    st_status->setStyleSheet(m_statusFailure ? QStringLiteral("color: #b71c1c;") : QString());
}

void uo_clients::ue_change_lang() {
    applyHeaders();
    cb_refresh->ue_change_lang();
    for (int row = 0; row < m_model->rowCount(); ++row) {
        QStandardItem* item = m_model->item(row, State);
        const int key = item->data(kSortRole).toInt();
        item->setText(
            stateText(key / 2 == kStateFailed ? kStateFailed : kStateOk, item->data(Qt::UserRole).toBool()));
    }
    showStatus();
}

} // namespace tarnlow
