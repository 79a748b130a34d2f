#pragma once

#include "host/numbered_message.h"

#include <QWidget>

#include <optional>

class QLabel;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace tarnlow {

class Transaction;
class uo_std_cb;
struct ClientRow;

// The Clients work object: every client that recorded a version check in T_SYS_CLIENT, newest
// check first, sortable by any column. Clients behind the highest stored component and clients
// whose check failed are marked in their row (a state column and a row colour); Refresh (F5)
// reads the table again on the program's connection.
class uo_clients : public QWidget {
    Q_OBJECT

public:
    enum Column { State, Host, User, Folder, ComponentId, Version, LastCheck, Message, Machine, ColumnCount };

    explicit uo_clients(Transaction* sqlca, QWidget* parent = nullptr);

    QTableView* dw_clients = nullptr;
    uo_std_cb* cb_refresh = nullptr;
    QLabel* st_status = nullptr;

    // Reads the clients again and keeps the sort the operator chose.
    void refresh();

public Q_SLOTS:
    void ue_change_lang();

private:
    void fill(const QList<ClientRow>& clients);
    void applyHeaders();
    void showStatus();

    Transaction* m_sqlca;
    QStandardItemModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    // The status as a message, kept so that a language change re-texts it.
    std::optional<NumberedMessage> m_status;
    bool m_statusFailure = false;
};

} // namespace tarnlow
