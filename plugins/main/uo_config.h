#pragma once

#include "schema/config_table.h"

#include <QWidget>

class QLabel;
class QTableWidget;

namespace tarnlow {

class Transaction;
class uo_std_cb;

// The configuration work object: the rows of T_SYS_CONFIG in a grid that the operator edits, adds
// to and deletes from, saved together in one transaction. It says what LIB and FR mean, keeps the
// first-run marker FR as the program set it, and refuses a LIB value naming libraries that are not
// in the program folder.
class uo_config : public QWidget {
    Q_OBJECT

public:
    explicit uo_config(Transaction* sqlca, QWidget* parent = nullptr);

    QLabel* st_help = nullptr;
    QTableWidget* dw_config = nullptr;
    uo_std_cb* cb_add = nullptr;
    uo_std_cb* cb_delete = nullptr;
    uo_std_cb* cb_reload = nullptr;
    uo_std_cb* cb_save = nullptr;
    QLabel* st_status = nullptr;

    // The rows as the grid holds them now.
    QList<ConfigRow> editedRows() const;
    // True when the grid differs from the rows last read.
    bool hasChanges() const;

    // Reads the rows again, discarding what was not saved. False when the table cannot be read
    // (the status says why).
    bool reload();
    // Saves the grid; true when it was saved (or had nothing to save).
    bool save();
    void addRow();
    void deleteRow();

public Q_SLOTS:
    void ue_change_lang();

protected:
    // A close (its tab closed, the main window closed) asks before unsaved changes are lost.
    void closeEvent(QCloseEvent* event) override;

private:
    void fillGrid(const QList<ConfigRow>& rows);
    // loaded: the row as read from the table (its type is remembered), not one added since.
    void setRow(int row, const ConfigRow& values, bool loaded);
    void describeRow(int row);
    void showStatus(const QString& text, bool failure);
    void updateButtons();

    Transaction* m_sqlca;
    QList<ConfigRow> m_loaded;
};

} // namespace tarnlow
