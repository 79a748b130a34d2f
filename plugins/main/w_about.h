#pragma once

#include <QDialog>

class QLabel;

namespace tarnlow {

class Transaction;

// The about window: the program's name and version, the Qt version, the database in use (its
// type, server and database), the language file in use and whether downloaded program files are
// checked against trusted keys.
class w_about : public QDialog {
    Q_OBJECT

public:
    explicit w_about(const Transaction* sqlca, QWidget* parent = nullptr);

    QLabel* st_version = nullptr;
    QLabel* st_qt = nullptr;
    QLabel* st_dbms = nullptr;
    QLabel* st_server = nullptr;
    QLabel* st_language = nullptr;
    QLabel* st_downloads = nullptr;
};

} // namespace tarnlow
