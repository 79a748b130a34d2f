#include "update/w_ver.h"

#include "db/database_worker.h"
#include "db/transaction.h"
#include "host/layout_units.h"
#include "host/primary_screen.h"
#include "host/progress_throttle.h"
#include "host/settings_store.h"
#include "host/size_text.h"
#include "lang/f_msgbox.h"
#include "lang/uo_std_cb.h"
#include "update/client_record.h"
#include "update/completed_components.h"
#include "update/download_verification.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace tarnlow {
namespace {

// The window's title, "update......" in English.
constexpr int kMessageVersionCheckTitle = 10601;
// "%1 of %2" under the bar, and "Stopping…" once Cancel was pressed.
constexpr int kMessageBytesOf = 11700;
constexpr int kMessageStopping = 11701;

} // namespace

w_ver::w_ver(Transaction& sqlca, SettingsStore& settings, QString programFolder, QWidget* parent)
    : QDialog(parent)
    , m_sqlca(sqlca)
    , m_settings(settings)
    , m_programFolder(std::move(programFolder)) {
    setWindowTitle(messageText(NumberedMessage{kMessageVersionCheckTitle, {}}));
    setWindowModality(Qt::ApplicationModal);
    // The close button of the title bar cancels, as the Cancel button does.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    if (const auto screen = primaryScreenMetrics()) {
        m_dpiX = screen->logicalDpiX;
        m_dpiY = screen->logicalDpiY;
    }

    st_8 = new QLabel(this);
    st_8->setObjectName(QStringLiteral("st_8"));
    st_8->setAutoFillBackground(true);
    QPalette barPalette = st_8->palette();
    barPalette.setColor(QPalette::Window, barPalette.color(QPalette::Highlight));
    st_8->setPalette(barPalette);

    st_7 = new QLabel(this);
    st_7->setObjectName(QStringLiteral("st_7"));
    st_7->setFrameStyle(QFrame::Box | QFrame::Plain);
    st_7->setGeometry(unitsToPixelsX(kFrameX, m_dpiX), unitsToPixelsY(kFrameY, m_dpiY),
                      unitsToPixelsX(kFrameWidth, m_dpiX), unitsToPixelsY(kFrameHeight, m_dpiY));

    st_5 = new QLabel(QStringLiteral("none"), this);
    st_5->setObjectName(QStringLiteral("st_5"));
    st_5->setGeometry(unitsToPixelsX(kFrameX, m_dpiX), unitsToPixelsY(kStatusY, m_dpiY),
                      unitsToPixelsX(kFrameWidth, m_dpiX), unitsToPixelsY(kStatusHeight, m_dpiY));
    st_5->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One line: a long path loses its middle rather than running over the byte line below.
    st_5->setWordWrap(false);
    st_5->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    st_bytes = new QLabel(this);
    st_bytes->setObjectName(QStringLiteral("st_bytes"));
    st_bytes->setGeometry(unitsToPixelsX(kFrameX, m_dpiX), unitsToPixelsY(kBytesY, m_dpiY),
                          unitsToPixelsX(kFrameWidth, m_dpiX), unitsToPixelsY(kBytesHeight, m_dpiY));
    st_bytes->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* cancelButton = new uo_std_cb(QStringLiteral("LOGIN_CANCEL"), QStringLiteral("取消(&C)"), this);
    cancelButton->setObjectName(QStringLiteral("cb_cancel"));
    cancelButton->setGeometry(unitsToPixelsX(kCancelX, m_dpiX), unitsToPixelsY(kCancelY, m_dpiY),
                              unitsToPixelsX(kCancelWidth, m_dpiX), unitsToPixelsY(kCancelHeight, m_dpiY));
    cancelButton->setAutoDefault(false);
    cancelButton->postChangeLanguage();
    cb_cancel = cancelButton;
    connect(cb_cancel, &QPushButton::clicked, this, &w_ver::cancel);

    // The bar is listed first and stays in front of its frame.
    st_8->raise();
    placeBar();
    setFixedSize(unitsToPixelsX(kWindowWidth, m_dpiX), unitsToPixelsY(kWindowHeight, m_dpiY));
}

w_ver::~w_ver() = default;

void w_ver::centre() {
    const auto screen = primaryScreenMetrics();
    if (!screen)
        return;
    const int x = centredCoordinate(pixelsToUnitsX(screen->width, m_dpiX), kWindowWidth);
    const int y = centredCoordinate(pixelsToUnitsY(screen->height, m_dpiY), kWindowHeight);
    m_positionUnits = QPoint(x, y);
    move(screen->left + unitsToPixelsX(x, m_dpiX), screen->top + unitsToPixelsY(y, m_dpiY));
}

void w_ver::placeBar() {
    const int width = unitsToPixelsX(m_barUnits, m_dpiX);
    st_8->setGeometry(unitsToPixelsX(kBarX, m_dpiX), unitsToPixelsY(kBarY, m_dpiY), width,
                      unitsToPixelsY(kBarHeight, m_dpiY));
    st_8->setVisible(width > 0);
}

// The bar follows the bytes of the whole download once their total is known, and the rows before
// that (or when every file is empty).
void w_ver::setBarFraction(double fraction) {
    m_barUnits = static_cast<int>(std::trunc((kFrameWidth - 10) * std::clamp(fraction, 0.0, 1.0)));
    placeBar();
}

void w_ver::showProgress(const DownloadProgress& progress) {
    if (m_bytesTotal > 0)
        setBarFraction(static_cast<double>(m_bytesDone) / static_cast<double>(m_bytesTotal));
    else
        setBarFraction(progress.fraction);
    st_5->setText(
        st_5->fontMetrics().elidedText(progress.targetPath, Qt::ElideMiddle, st_5->contentsRect().width()));
    st_5->setToolTip(progress.targetPath);
    if (m_observer)
        m_observer(progress);
}

void w_ver::showBytes(const DownloadBytes& bytes) {
    if (m_cancelRequested)
        return;
    m_bytesDone = bytes.doneOfAll;
    m_bytesTotal = bytes.totalOfAll;
    if (m_bytesTotal > 0)
        setBarFraction(static_cast<double>(m_bytesDone) / static_cast<double>(m_bytesTotal));
    // One line for the whole download; the path above names the file in hand.
    st_bytes->setText(
        messageText(NumberedMessage{kMessageBytesOf, {sizeText(m_bytesDone), sizeText(m_bytesTotal)}}));
}

int w_ver::runVersionCheck() {
    centre();
    DownloadEngine engine(m_sqlca, m_settings, m_programFolder);
    const auto rows = engine.pendingRows();
    if (!rows) {
        m_failure = DownloadEngine::listFailure(rows.error());
        showRecordProblem(recordVersionCheck(m_sqlca, m_settings, m_programFolder, m_failure));
        f_msgbox(*m_failure);
        ib_close = true;
        close();
        return -1;
    }
    if (rows->isEmpty()) {
        showRecordProblem(recordVersionCheck(m_sqlca, m_settings, m_programFolder, std::nullopt));
        ib_close = true;
        close();
        return 1;
    }

    // A folder that cannot take the files, or settings that cannot record them, are reported
    // before the window shows.
    if (auto failure = engine.startFailure(rows->size())) {
        m_failure = std::move(failure);
        showRecordProblem(recordVersionCheck(m_sqlca, m_settings, m_programFolder, m_failure));
        f_msgbox(m_failure->number, m_failure->parameters);
        ib_close = true;
        close();
        return -1;
    }

    show();
    startDownload(*rows);
    // Start-up waits here as it waited for the download itself; the window keeps answering.
    QEventLoop waiting;
    connect(m_worker, &DatabaseWorker::finished, &waiting, &QEventLoop::quit);
    waiting.exec();
    return m_result;
}

DownloadObserver w_ver::progressToWindow(const DatabaseWorker::Job& job) {
    auto throttle = std::make_shared<ProgressThrottle>();
    DownloadObserver observer;
    observer.progress = [this, &job](const DownloadProgress& progress) {
        job.post([this, progress] { showProgress(progress); });
    };
    observer.bytes = [this, &job, throttle](const DownloadBytes& bytes) -> Result<void> {
        if (job.cancelRequested())
            return Error{QStringLiteral("the download was cancelled")};
        if (throttle->due(bytes.rowDone == bytes.rowSize))
            job.post([this, bytes] { showBytes(bytes); });
        return {};
    };
    return observer;
}

void w_ver::startDownload(const QList<VersionRow>& rows) {
    // The program's connection is lent to the worker's thread and given back when the job ends.
    m_worker = new DatabaseWorker(m_sqlca, this);
    const QString settingsFile = m_settings.filePath();
    const QString folder = m_programFolder;
    // Steps posted by the job reach the window only while its worker, a child of the window, lives.
    m_worker->start([this, rows, settingsFile, folder](DatabaseWorker::Job& job) {
        DownloadOutcome outcome;
        std::optional<NumberedMessage> recordProblem;
        if (!job.connection().isConnected()) {
            outcome.result = -1;
            outcome.failure = DownloadEngine::listFailure(QStringLiteral("not connected to a database"));
        } else {
            job.interruptStatementsOnCancel();
            SettingsStore settings(settingsFile);
            DownloadEngine engine(job.connection(), settings, folder);
            outcome = engine.download(rows, progressToWindow(job));
            if (job.cancelRequested() && outcome.failure) {
                // Stopped by the operator: what is complete counts, the rest comes at the next start.
                recordCompletedComponents(settings, rows, outcome.writtenPaths.size(),
                                          installedComponent(settings));
            }
            // The check's state goes to the database on the same connection, after the download's
            // work and in a transaction of its own.
            recordProblem = recordVersionCheck(job.connection(), settings, folder, outcome.failure);
        }
        job.post([this, outcome, recordProblem] {
            showRecordProblem(recordProblem);
            finishDownload(outcome);
        });
    });
}

void w_ver::finishDownload(const DownloadOutcome& outcome) {
    m_failure = outcome.failure;
    m_result = outcome.result;
    ib_close = true;
    // A download the operator stopped has recorded what is complete and is not reported.
    const bool stoppedByOperator = m_cancelRequested && outcome.failure;
    if (!stoppedByOperator && m_failure)
        f_msgbox(*m_failure);
    else if (!stoppedByOperator && outcome.notice && unverifiedNoticeDue(m_settings, m_programFolder)) {
        // Said once per machine and program folder; the About window keeps saying it.
        f_msgbox(*outcome.notice);
        if (const Result<void> remembered = rememberUnverifiedNotice(m_settings, m_programFolder);
            !remembered)
            qWarning().noquote() << "tarnlow_as:" << remembered.error();
    }
    close();
}

void w_ver::showRecordProblem(const std::optional<NumberedMessage>& problem) {
    if (!problem)
        return;
    m_recordProblem = problem;
    // In the status, never in a box: a login that may not write the table would meet it at every
    // start. Standard error keeps it for whoever started the program from a terminal.
    const QString text = messageText(*problem);
    st_bytes->setText(text);
    std::fprintf(stderr, "tarnlow_as: %s\n", text.toLocal8Bit().constData());
}

void w_ver::cancel() {
    if (ib_close || m_worker == nullptr || m_cancelRequested)
        return;
    m_cancelRequested = true;
    m_worker->requestCancel();
    cb_cancel->setEnabled(false);
    st_bytes->setText(messageText(NumberedMessage{kMessageStopping, {}}));
}

void w_ver::closeEvent(QCloseEvent* event) {
    if (!ib_close) {
        cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void w_ver::reject() {
    if (ib_close)
        QDialog::reject();
    else
        cancel();
}

} // namespace tarnlow
