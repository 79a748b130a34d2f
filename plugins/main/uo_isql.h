#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QSpinBox;
class QTableView;

namespace tarnlow {

class QueryResultModel;
class Transaction;
class uo_std_cb;
class uo_std_st;

// The SQL query work object: a statement editor, Run (Ctrl+Enter) and the result of the statement
// on the program's connection: its rows up to the row limit in a grid (with a notice when rows
// were left out), the number of rows affected for a statement without rows, or the server's text
// when it failed.
class uo_isql : public QWidget {
    Q_OBJECT

public:
    // The default number of rows shown.
    static constexpr int kDefaultRowLimit = 1000;

    explicit uo_isql(Transaction* sqlca, QWidget* parent = nullptr);

    QPlainTextEdit* mle_sql = nullptr;
    uo_std_cb* cb_run = nullptr;
    uo_std_st* st_limit = nullptr;
    QSpinBox* sle_limit = nullptr;
    QTableView* dw_result = nullptr;
    QLabel* st_status = nullptr;

    // Runs the editor's statement (the selected text when there is a selection).
    void run();

public Q_SLOTS:
    void ue_change_lang();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showStatus(const QString& key, const QString& designText, const QStringList& parameters,
                    bool failure);

    Transaction* m_sqlca;
    QueryResultModel* m_model = nullptr;
    // The last status, kept so that a language change re-texts it.
    QString m_statusKey;
    QString m_statusDesign;
    QStringList m_statusParameters;
    bool m_statusFailure = false;
};

} // namespace tarnlow
