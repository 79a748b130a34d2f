#include "tools/w_test.h"

#include "host/message_box.h"
#include "host/object_library.h"
#include "host/window_fit.h"
#include "lang/f_msgbox.h"
#include "lang/language_lookup.h"
#include "tools/failed_rows_file.h"
#include "tools/row_table_model.h"
#include "tools/stock_update_session.h"
#include "tools/tools_messages.h"
#include "update/package_messages.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

namespace tarnlow {
namespace {

QTableView* newDataList(const QString& name, RowTableModel* model, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setObjectName(name);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->horizontalHeader()->setStretchLastSection(true);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->resizeColumnsToContents();
    return view;
}

QPushButton* newButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QLabel* newLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QString findingText(const ControlFinding& finding) {
    return QStringLiteral("code %1 first at byte %2").arg(finding.code).arg(finding.position);
}

} // namespace

w_test::w_test(TestWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_options(std::move(options)) {
    setFont(QFont(QStringLiteral("Arial"), 10));
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Button));
    setPalette(background);
    setAutoFillBackground(true);

    m_session = new StockUpdateSession(this);
    m_sourceModel = new RowTableModel({kStockKeyColumn, kStockQuantityColumn}, this);
    m_failedModel = new RowTableModel(kFailedRowsColumns, this);

    cb_2 = newButton(QStringLiteral("cb_2"), QStringLiteral("S&can a file for control characters..."), this);
    dw_2 = newDataList(QStringLiteral("dw_2"), m_failedModel, this);
    st_2 = newLabel(QStringLiteral("st_2"), QStringLiteral("none"), this);
    st_1 = newLabel(QStringLiteral("st_1"), QStringLiteral("none"), this);
    cb_1 = newButton(QStringLiteral("cb_1"), QStringLiteral("&Update stock"), this);
    dw_1 = newDataList(QStringLiteral("dw_1"), m_sourceModel, this);

    m_connectString = m_options.connectString;
    sle_connect = new QLineEdit(connectStringForDisplay(m_connectString), this);
    sle_connect->setObjectName(QStringLiteral("sle_connect"));
    cb_connect = newButton(QStringLiteral("cb_connect"), QStringLiteral("C&onnect"), this);
    st_connection = newLabel(QStringLiteral("st_connection"), QStringLiteral("Not connected."), this);
    st_connection->setWordWrap(true);
    st_connection->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sle_file = new QLineEdit(this);
    sle_file->setObjectName(QStringLiteral("sle_file"));
    sle_file->setReadOnly(true);
    cb_open = newButton(QStringLiteral("cb_open"), QStringLiteral("Open &stock file..."), this);
    cb_stop = newButton(QStringLiteral("cb_stop"), QStringLiteral("S&top"), this);
    cb_stop->setEnabled(false);
    cb_save = newButton(QStringLiteral("cb_save"), QStringLiteral("Sa&ve rows not written..."), this);
    pb_progress = new QProgressBar(this);
    pb_progress->setObjectName(QStringLiteral("pb_progress"));
    pb_progress->setRange(0, 1);
    pb_progress->setValue(0);
    st_result = newLabel(QStringLiteral("st_result"), QString(), this);
    st_result->setWordWrap(true);
    st_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lb_findings = new QListWidget(this);
    lb_findings->setObjectName(QStringLiteral("lb_findings"));
    buildLayout();
    applyLanguage();

    QObject::connect(cb_connect, &QPushButton::clicked, this, [this] { connectDataSource(true); });
    QObject::connect(sle_connect, &QLineEdit::returnPressed, this, [this] { connectDataSource(true); });
    QObject::connect(sle_connect, &QLineEdit::textChanged, this, &w_test::takeConnectString);
    QObject::connect(sle_connect, &QLineEdit::editingFinished, this,
                     [this] { takeConnectString(sle_connect->text()); });
    QObject::connect(cb_open, &QPushButton::clicked, this, &w_test::chooseStockFile);
    QObject::connect(cb_1, &QPushButton::clicked, this, &w_test::startStockUpdate);
    QObject::connect(cb_2, &QPushButton::clicked, this, &w_test::chooseScanFile);
    QObject::connect(cb_stop, &QPushButton::clicked, this, &w_test::stop);
    QObject::connect(cb_save, &QPushButton::clicked, this, [this] { offerSave(); });
    QObject::connect(m_session, &StockUpdateSession::connectFinished, this, &w_test::connectionDone);
    QObject::connect(m_session, &StockUpdateSession::rowDone, this, &w_test::rowDone);
    QObject::connect(m_session, &StockUpdateSession::runFinished, this, &w_test::runDone);

    // The connection opens once the window is up, so that opening never waits on the data source.
    if (m_options.connectOnOpen)
        QMetaObject::invokeMethod(
            this, [this] { connectDataSource(false); }, Qt::QueuedConnection);
    resize(900, 700);
    placeWhenFirstShown(*this);
}

w_test::~w_test() {
    m_scanStop = true;
    if (m_scanThread) {
        m_scanThread->wait();
        delete m_scanThread;
    }
}

void w_test::buildLayout() {
    auto* connection = new QHBoxLayout;
    m_connectLabel = new QLabel(QStringLiteral("ODBC &data source:"), this);
    m_connectLabel->setBuddy(sle_connect);
    connection->addWidget(m_connectLabel);
    connection->addWidget(sle_connect, 1);
    connection->addWidget(cb_connect);

    auto* file = new QHBoxLayout;
    m_fileLabel = new QLabel(QStringLiteral("Stock file:"), this);
    file->addWidget(m_fileLabel);
    file->addWidget(sle_file, 1);
    file->addWidget(cb_open);

    auto* run = new QHBoxLayout;
    m_rowsLabel = new QLabel(QStringLiteral("Rows:"), this);
    run->addWidget(m_rowsLabel);
    run->addWidget(st_2);
    run->addSpacing(12);
    m_rowLabel = new QLabel(QStringLiteral("Row:"), this);
    run->addWidget(m_rowLabel);
    run->addWidget(st_1);
    run->addSpacing(12);
    run->addWidget(pb_progress, 1);
    run->addWidget(cb_1);
    run->addWidget(cb_stop);

    auto* failed = new QHBoxLayout;
    m_failedLabel = new QLabel(QStringLiteral("Rows not written:"), this);
    failed->addWidget(m_failedLabel, 1);
    failed->addWidget(cb_save);

    auto* scan = new QHBoxLayout;
    m_scanLabel = new QLabel(QStringLiteral("Control characters found:"), this);
    scan->addWidget(m_scanLabel, 1);
    scan->addWidget(cb_2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(connection);
    layout->addWidget(st_connection);
    layout->addLayout(file);
    layout->addWidget(dw_1, 3);
    layout->addLayout(run);
    layout->addWidget(st_result);
    layout->addLayout(failed);
    layout->addWidget(dw_2, 2);
    layout->addLayout(scan);
    layout->addWidget(lb_findings, 1);

    setTabOrder(sle_connect, cb_connect);
    setTabOrder(cb_connect, cb_open);
    setTabOrder(cb_open, dw_1);
    setTabOrder(dw_1, cb_1);
    setTabOrder(cb_1, cb_stop);
    setTabOrder(cb_stop, cb_save);
    setTabOrder(cb_save, dw_2);
    setTabOrder(dw_2, cb_2);
    setTabOrder(cb_2, lb_findings);
}

// Title, captions and buttons from the language file; the design texts where it has none.
void w_test::applyLanguage() {
    setWindowTitle(lookup(QStringLiteral("TEXT"), QStringLiteral("ODBC_TITLE"), QStringLiteral("Untitled")));
    const QList<std::pair<QAbstractButton*, const char*>> buttons{
        {cb_2, "ODBC_SCAN"},    {cb_1, "ODBC_UPDATE"},  {cb_connect, "ODBC_CONNECT"},
        {cb_open, "ODBC_OPEN"}, {cb_stop, "ODBC_STOP"}, {cb_save, "ODBC_SAVE"}};
    for (const auto& [button, key] : buttons)
        button->setText(controlCaption(QLatin1String(key), button->text()));
    const QList<std::pair<QLabel*, const char*>> labels{
        {m_connectLabel, "ODBC_SOURCE"}, {m_fileLabel, "ODBC_FILE"},     {m_rowsLabel, "ODBC_ROWS"},
        {m_rowLabel, "ODBC_ROW"},        {m_failedLabel, "ODBC_FAILED"}, {m_scanLabel, "ODBC_FOUND"}};
    for (const auto& [label, key] : labels)
        label->setText(controlCaption(QLatin1String(key), label->text()));
}

void w_test::takeConnectString(const QString& shown) {
    m_connectString = connectStringWithPasswords(shown, m_connectString);
    const QString hidden = connectStringForDisplay(m_connectString);
    if (!sle_connect->hasFocus() && sle_connect->text() != hidden)
        sle_connect->setText(hidden);
}

bool w_test::busy() const {
    return m_session->busy() || m_scanThread != nullptr;
}

bool w_test::connected() const {
    return m_session->connected();
}

void w_test::setWorking(bool working) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{sle_connect, cb_connect, cb_open, cb_1, cb_2, cb_save})
        control->setEnabled(!working);
    cb_stop->setEnabled(working);
    if (working)
        cb_stop->setFocus();
}

void w_test::connectDataSource(bool showFailure) {
    if (busy())
        return;
    m_showConnectFailure = showFailure;
    const QString connectString = m_connectString;
    st_connection->setText(
        QStringLiteral("Connecting to %1 ...").arg(connectStringForDisplay(connectString)));
    setWorking(true);
    cb_stop->setEnabled(false);
    m_session->connectTo(connectString);
}

void w_test::connectionDone(bool ok, const QString& text) {
    setWorking(false);
    const QString shown = connectStringForDisplay(m_connectString);
    if (ok) {
        st_connection->setText(
            QStringLiteral("Connected to %1 (its own connection; changes are committed when a "
                           "run ends).")
                .arg(shown));
    } else {
        st_connection->setText(QStringLiteral("Not connected to %1: %2").arg(shown, text));
        if (m_showConnectFailure)
            f_msgbox(kMsgTestConnectFailed, {shown, text});
    }
    Q_EMIT connectionAttempted(ok);
}

void w_test::chooseStockFile() {
    const std::optional<QString> path = m_options.dialogs.openFile(
        this, QStringLiteral("Open stock file"), QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path)
        loadStockFile(*path);
}

bool w_test::loadStockFile(const QString& path) {
    const Result<QList<StockRow>> rows = readStockFile(path);
    if (!rows) {
        f_msgbox(kMsgTestStockFileRefused, {path, rows.error()});
        return false;
    }
    m_rows = *rows;
    m_stockPath = path;
    QList<QStringList> shown;
    shown.reserve(m_rows.size());
    for (const StockRow& row : m_rows)
        shown.append({row.shortSku, QString::number(row.quantity, 'g', 15)});
    m_sourceModel->setRows(std::move(shown));
    dw_1->resizeColumnsToContents();
    sle_file->setText(path);
    st_2->setText(QString::number(m_rows.size()));
    st_1->setText(QStringLiteral("none"));
    st_result->clear();
    return true;
}

void w_test::startStockUpdate() {
    if (busy())
        return;
    if (!m_session->connected()) {
        f_msgbox(kMsgTestNotConnected, {});
        return;
    }
    st_2->setText(QString::number(m_rows.size()));
    st_1->setText(QStringLiteral("0"));
    st_result->setText(QStringLiteral("Writing %1 rows ...").arg(m_rows.size()));
    m_failedModel->clear();
    m_problems.clear();
    pb_progress->setRange(0, std::max<int>(1, static_cast<int>(m_rows.size())));
    pb_progress->setValue(0);
    setWorking(true);
    m_session->start(m_rows);
}

void w_test::rowDone(const StockRowOutcome& outcome) {
    st_1->setText(QString::number(outcome.row));
    pb_progress->setValue(outcome.row);
    if (outcome.status != StockRowStatus::Written) {
        m_problems.append(outcome);
        m_failedModel->appendRow({outcome.shortSku, stockRowStatusText(outcome.status), outcome.text});
    }
}

void w_test::runDone(const StockUpdateReport& report) {
    m_report = report;
    setWorking(false);
    // The report is the authority on what is listed, also for rows whose notice was still queued.
    m_problems = report.problems;
    QList<QStringList> listed;
    for (const StockRowOutcome& outcome : report.problems)
        listed.append({outcome.shortSku, stockRowStatusText(outcome.status), outcome.text});
    m_failedModel->setRows(std::move(listed));
    // The server's text takes what is left of the width.
    dw_2->resizeColumnToContents(0);
    dw_2->resizeColumnToContents(1);
    const QString rows = QString::number(report.rowCount);
    switch (report.end) {
    case StockRunEnd::Committed:
        pb_progress->setValue(pb_progress->maximum());
        st_result->setText(
            QStringLiteral("%1 of %2 rows written and committed; %3 failed; %4 matched no row.")
                .arg(report.written)
                .arg(report.rowCount)
                .arg(report.failed)
                .arg(report.noRow));
        if (!m_closeAfterRun) {
            f_msgbox(kMsgTestUpdateCommitted,
                     {rows, QString::number(report.written), QString::number(report.failed),
                      QString::number(report.noRow)});
            offerSave();
        }
        break;
    case StockRunEnd::Stopped:
        if (report.isolation == RowIsolation::CommitEachRow) {
            st_result->setText(
                QStringLiteral("Stopped after %1 of %2 rows; %3 rows were committed one by one.")
                    .arg(report.processed)
                    .arg(report.rowCount)
                    .arg(report.written));
            if (!m_closeAfterRun)
                f_msgbox(kMsgTestUpdateStoppedEach,
                         {QString::number(report.processed), rows, QString::number(report.written)});
        } else {
            st_result->setText(
                QStringLiteral("Stopped after %1 of %2 rows; rolled back, nothing was written.")
                    .arg(report.processed)
                    .arg(report.rowCount));
            if (!m_closeAfterRun)
                f_msgbox(kMsgTestUpdateStopped, {QString::number(report.processed), rows});
        }
        break;
    case StockRunEnd::Failed:
        st_result->setText(QStringLiteral("The run failed and was rolled back (%1 rows committed): %2")
                               .arg(report.written)
                               .arg(report.failureText));
        if (!m_closeAfterRun)
            f_msgbox(kMsgTestUpdateFailed, {QString::number(report.written), report.failureText});
        break;
    }
    Q_EMIT stockUpdateFinished();
    if (m_closeAfterRun)
        close();
}

bool w_test::offerSave() {
    const QString folder =
        m_stockPath.isEmpty() ? QString() : QFileInfo(m_stockPath).absolutePath() + QLatin1Char('/');
    const std::optional<QString> path = m_options.dialogs.saveFile(
        this, QStringLiteral("Save rows not written"), folder + QStringLiteral("failed_rows.csv"),
        QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!path)
        return false;
    if (QFileInfo::exists(*path) && !askYesNo(NumberedMessage{kMsgPackageReplaceQuestion, {*path}}))
        return false;
    if (const Result<void> written = writeFailedRowsFile(*path, m_problems); !written) {
        f_msgbox(kMsgTestSaveFailed, {*path, written.error()});
        return false;
    }
    st_result->setText(
        st_result->text() +
        QStringLiteral(" The %1 rows not written were saved to %2.").arg(m_problems.size()).arg(*path));
    return true;
}

void w_test::chooseScanFile() {
    const std::optional<QString> path = m_options.dialogs.openFile(
        this, QStringLiteral("Choose the data file to scan"), QStringLiteral("All files (*)"));
    if (path)
        scanFile(*path);
}

void w_test::scanFile(const QString& path) {
    if (busy())
        return;
    m_scanStop = false;
    lb_findings->clear();
    pb_progress->setRange(0, 1000);
    pb_progress->setValue(0);
    setWorking(true);
    auto result = std::make_shared<std::optional<Result<ControlScanReport>>>();
    m_scanThread = QThread::create([this, path, result] {
        *result = scanControlCharacters(
            path,
            [this](qint64 read, qint64 size) {
                const int permille = size > 0 ? static_cast<int>(read * 1000 / size) : 1000;
                QMetaObject::invokeMethod(pb_progress,
                                          [bar = pb_progress, permille] { bar->setValue(permille); });
            },
            &m_scanStop);
    });
    QObject::connect(m_scanThread, &QThread::finished, this, [this, path, result] {
        m_scanThread->wait();
        delete m_scanThread;
        m_scanThread = nullptr;
        setWorking(false);
        scanDone(path, **result);
    });
    m_scanThread->start();
}

void w_test::scanDone(const QString& path, const Result<ControlScanReport>& result) {
    if (!result) {
        m_scan.reset();
        lb_findings->addItem(QStringLiteral("%1 cannot be scanned: %2").arg(path, result.error()));
        if (!m_closeAfterRun)
            f_msgbox(kMsgTestScanFailed, {path, result.error()});
        Q_EMIT scanFinished();
        return;
    }
    m_scan = *result;
    pb_progress->setValue(pb_progress->maximum());
    if (result->findings.isEmpty())
        lb_findings->addItem(
            QStringLiteral("%1 (%2 bytes) holds no control characters.").arg(path).arg(result->size));
    for (const ControlFinding& finding : result->findings)
        lb_findings->addItem(findingText(finding));
    for (const ControlFinding& finding : result->findings) {
        MessageBoxRequest request;
        request.title = QString::number(finding.position);
        request.text = QString::number(finding.code);
        showMessageBox(request);
    }
    Q_EMIT scanFinished();
}

void w_test::stop() {
    m_scanStop = true;
    m_session->requestStop();
}

void w_test::closeEvent(QCloseEvent* event) {
    if (m_closeAfterRun && !busy()) {
        event->accept();
        return;
    }
    // A connection attempt is not asked about: it ends within its login timeout, and the
    // session waits for it when the window goes.
    if (m_session->running()) {
        event->ignore();
        if (askYesNo(NumberedMessage{kMsgTestCloseWhileRunning, {}})) {
            m_closeAfterRun = true;
            stop();
        }
        return;
    }
    if (m_scanThread) {
        // The scan only reads; it ends at its next piece, and its end shows nothing any more.
        m_closeAfterRun = true;
        m_scanStop = true;
        m_scanThread->wait();
    }
    event->accept();
}

QObject* createTestWindow(const ObjectContext& context) {
    auto* window = new w_test(TestWindowOptions{}, qobject_cast<QWidget*>(context.parent));
    window->setAttribute(Qt::WA_DeleteOnClose);
    return window;
}

} // namespace tarnlow
