#pragma once

#include "tools/control_scan.h"
#include "tools/stock_csv.h"
#include "tools/stock_update_engine.h"
#include "update/file_dialogs.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableView;
class QThread;

namespace tarnlow {

struct ObjectContext;
class RowTableModel;
class StockUpdateSession;

// The name under which the executable provides the window.
inline const QString kTestWindowName = QStringLiteral("w_test");
inline const QString kDefaultTestConnectString = QStringLiteral("DSN=PRDLIVE;UID=mavrick;PWD=mavrick");

struct TestWindowOptions {
    QString connectString = kDefaultTestConnectString;
    bool connectOnOpen = true; // connect with connectString as soon as the window opens
    FileDialogs dialogs = FileDialogs::standard();
};

// The ODBC test window: a connection of its own to an ODBC data source, the stock update from a
// CSV file into its strivmst table with the failed rows listed, and the scan of a file for
// control characters. Its texts come from the language file in use when it opens, the design texts
// where the file has none. The connect string's passwords are shown as "***".
class w_test : public QWidget {
    Q_OBJECT

public:
    explicit w_test(TestWindowOptions options = {}, QWidget* parent = nullptr);
    ~w_test() override;

    // Reads the stock file into dw_1; false (and the operator told why) when it cannot be used.
    bool loadStockFile(const QString& path);
    // Offers the failed rows for saving; true when they were saved.
    bool offerSave();
    // Scans the file; the findings are listed and each is shown in a message box.
    void scanFile(const QString& path);

    bool busy() const;
    bool connected() const;
    // The connect string the window connects with; sle_connect shows it with its passwords hidden.
    const QString& connectString() const { return m_connectString; }
    const StockUpdateReport& lastReport() const { return m_report; }
    const std::optional<ControlScanReport>& lastScan() const { return m_scan; }

    // Controls of the original window, in creation order.
    QPushButton* cb_2 = nullptr; // control-character scan
    QTableView* dw_2 = nullptr;  // failed rows: file_write, status, message
    QLabel* st_2 = nullptr;      // number of source rows
    QLabel* st_1 = nullptr;      // number of the row being written
    QPushButton* cb_1 = nullptr; // stock update
    QTableView* dw_1 = nullptr;  // source rows
    // Further controls.
    QLineEdit* sle_connect = nullptr;
    QPushButton* cb_connect = nullptr;
    QLabel* st_connection = nullptr;
    QLineEdit* sle_file = nullptr;
    QPushButton* cb_open = nullptr;
    QPushButton* cb_stop = nullptr;
    QPushButton* cb_save = nullptr;
    QProgressBar* pb_progress = nullptr;
    QLabel* st_result = nullptr;
    QListWidget* lb_findings = nullptr;

    RowTableModel* sourceRows() const { return m_sourceModel; }
    RowTableModel* failedRows() const { return m_failedModel; }

Q_SIGNALS:
    // After each connection attempt, each stock update and each scan.
    void connectionAttempted(bool connected);
    void stockUpdateFinished();
    void scanFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connectDataSource(bool showFailure);
    void chooseStockFile();
    void startStockUpdate();
    void chooseScanFile();
    void stop();
    void connectionDone(bool ok, const QString& text);
    void rowDone(const StockRowOutcome& outcome);
    void runDone(const StockUpdateReport& report);
    void scanDone(const QString& path, const Result<ControlScanReport>& result);
    void setWorking(bool working);
    void buildLayout();
    void applyLanguage();
    // Takes what the field shows as the connect string, with its hidden passwords restored; a
    // field without the focus shows its passwords hidden again.
    void takeConnectString(const QString& shown);

    TestWindowOptions m_options;
    StockUpdateSession* m_session = nullptr;
    RowTableModel* m_sourceModel = nullptr;
    RowTableModel* m_failedModel = nullptr;
    QList<StockRow> m_rows;
    QString m_stockPath;
    StockUpdateReport m_report;
    std::optional<ControlScanReport> m_scan;
    QList<StockRowOutcome> m_problems;
    QThread* m_scanThread = nullptr;
    std::atomic_bool m_scanStop = false;
    bool m_showConnectFailure = false;
    bool m_closeAfterRun = false;
    QString m_connectString;
    // Captions that only label another control.
    QLabel* m_connectLabel = nullptr;
    QLabel* m_fileLabel = nullptr;
    QLabel* m_rowsLabel = nullptr;
    QLabel* m_rowLabel = nullptr;
    QLabel* m_failedLabel = nullptr;
    QLabel* m_scanLabel = nullptr;
};

// Creates the window for the library search list: a top-level window (owned by context.parent
// when that is a window) that deletes itself when closed.
QObject* createTestWindow(const ObjectContext& context);

} // namespace tarnlow
