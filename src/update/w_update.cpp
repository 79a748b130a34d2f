#include "update/w_update.h"

#include "db/transaction.h"
#include "host/f_center.h"
#include "host/program_location.h"
#include "host/progress_throttle.h"
#include "host/settings_store.h"
#include "host/size_text.h"
#include "lang/f_msgbox.h"
#include "lang/language_lookup.h"
#include "lang/uo_std_cb.h"
#include "lang/uo_std_st.h"
#include "signing/trusted_keys.h"
#include "update/signature_messages.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

#include <memory>

namespace tarnlow {
namespace {

// "%1 of %2" under the bar, and "Stopping…" once Cancel was pressed.
constexpr int kMessageBytesOf = 11700;
constexpr int kMessageStopping = 11701;

// The bar counts in thousandths, so that packages above 2 GB fit its integer range.
constexpr int kBarSteps = 1000;

QLabel* valueLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(260);
    return label;
}

} // namespace

w_update::w_update(QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(
        lookup(QStringLiteral("TEXT"), QStringLiteral("APP_NAME"), QStringLiteral("Tarnlow私服辅助程序")));
    setFont(QFont(QStringLiteral("Arial")));
    setWindowModality(Qt::ApplicationModal);

    st_3 = valueLabel(this);
    st_3->setObjectName(QStringLiteral("st_3"));
    st_11 = new uo_std_st(QStringLiteral("FILE_SIZE"), QStringLiteral("大小："), this);
    st_11->setObjectName(QStringLiteral("st_11"));
    st_10 = new uo_std_st(QStringLiteral("FILE_NAME"), QStringLiteral("文件名："), this);
    st_10->setObjectName(QStringLiteral("st_10"));
    st_5 = valueLabel(this);
    st_5->setObjectName(QStringLiteral("st_5"));
    st_2 = valueLabel(this);
    st_2->setObjectName(QStringLiteral("st_2"));
    st_1 = new uo_std_st(QStringLiteral("FILE_VER"), QStringLiteral("版本："), this);
    st_1->setObjectName(QStringLiteral("st_1"));

    // The captions take the language's face name; the window's own texts stay in Arial.
    for (QLabel* value : {st_2, st_5, st_3})
        value->setFont(QFont(QStringLiteral("Arial")));

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);
    grid->setContentsMargins(24, 20, 24, 20);
    const std::array<std::pair<QLabel*, QLabel*>, 3> rows{{{st_1, st_2}, {st_10, st_5}, {st_11, st_3}}};
    for (int row = 0; row < 3; ++row) {
        rows[row].first->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(rows[row].first, row, 0);
        grid->addWidget(rows[row].second, row, 1);
    }
    grid->setColumnStretch(1, 1);
    createProgressControls(grid);
    adjustSize();
}

// Below the three rows: the bar over the package's bytes, its text, and Cancel.
void w_update::createProgressControls(QGridLayout* grid) {
    pb_bytes = new QProgressBar(this);
    pb_bytes->setObjectName(QStringLiteral("pb_bytes"));
    pb_bytes->setRange(0, kBarSteps);
    pb_bytes->setValue(0);
    pb_bytes->setTextVisible(false);
    grid->addWidget(pb_bytes, 3, 0, 1, 2);

    st_bytes = new QLabel(this);
    st_bytes->setObjectName(QStringLiteral("st_bytes"));
    auto* cancelButton = new uo_std_cb(QStringLiteral("LOGIN_CANCEL"), QStringLiteral("取消(&C)"), this);
    cancelButton->setObjectName(QStringLiteral("cb_cancel"));
    cancelButton->setAutoDefault(false);
    cancelButton->postChangeLanguage();
    cb_cancel = cancelButton;
    connect(cb_cancel, &QPushButton::clicked, this, &w_update::cancel);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(st_bytes, 1);
    bottom->addWidget(cb_cancel);
    grid->addLayout(bottom, 4, 0, 1, 2);
}

std::optional<int> w_update::open(Transaction& sqlca, const QString& commandLine) {
    ii_comp_index = 0;
    m_cancelRequested = false;
    cb_cancel->setEnabled(true);
    f_center(this);
    // The keys this computer trusts decide whether the package needs a signature.
    const Result<TrustedKeys> trusted = loadTrustedKeys(SettingsStore::standard(), gs_path);
    if (!trusted) {
        m_report = ImportReport{};
        m_report.failure = NumberedMessage{kMsgTrustedKeysUnreadable, {trusted.error()}};
        done(0);
        f_msgbox(*m_report.failure);
        return std::nullopt;
    }
    // The import runs on the worker's thread with the program's connection, lent to it and given
    // back when it ends; start-up waits here as it waited for the import.
    m_worker = new DatabaseWorker(sqlca, this);
    QEventLoop waiting;
    connect(m_worker, &DatabaseWorker::finished, &waiting, &QEventLoop::quit);
    m_worker->start([this, commandLine, trustedKeys = *trusted](DatabaseWorker::Job& job) {
        ImportReport report;
        if (!job.connection().isConnected()) {
            report.failure = NumberedMessage{kMsgImportDatabaseFailed,
                                             {commandLine, QStringLiteral("not connected to a database")}};
        } else {
            // Cancel also reaches a statement that waits for the import lock or runs the script.
            job.interruptStatementsOnCancel();
            report = importPackage(job.connection(), commandLine, progressToWindow(job), trustedKeys);
        }
        job.post([this, report] { m_report = report; });
    });
    waiting.exec();
    m_worker->deleteLater();
    m_worker = nullptr;
    hide();
    if (m_report.warning)
        f_msgbox(*m_report.warning);
    switch (m_report.result) {
    case ImportResult::Stored:
        done(1);
        return 1;
    case ImportResult::AlreadyStored:
        done(0);
        return std::nullopt;
    case ImportResult::Failed:
        break;
    }
    done(0);
    // A cancelled import has been rolled back as asked; there is nothing to tell.
    if (m_report.failure && !m_cancelRequested)
        f_msgbox(*m_report.failure);
    return std::nullopt;
}

ImportObserver w_update::progressToWindow(const DatabaseWorker::Job& job) {
    auto throttle = std::make_shared<ProgressThrottle>();
    ImportObserver observer;
    observer.fileStarted = [this, &job](const ImportFile& file) {
        job.post([this, file] { showFile(file); });
    };
    observer.bytes = [this, &job, throttle](qint64 done, qint64 total) -> Result<void> {
        if (job.cancelRequested())
            return Error{QStringLiteral("the import was cancelled")};
        if (throttle->due(done == total))
            job.post([this, done, total] { showBytes(done, total); });
        return {};
    };
    return observer;
}

void w_update::showFile(const ImportFile& file) {
    ii_comp_index = static_cast<std::int16_t>(file.updateIndex);
    st_2->setText(file.versionLabel);
    st_5->setText(file.name);
    st_3->setText(QString::number(file.size));
    if (!isVisible()) {
        show();
        f_center(this);
    }
    // Each file's values are painted before the next file's arrive.
    repaint();
}

void w_update::showBytes(qint64 done, qint64 total) {
    if (m_cancelRequested || total <= 0)
        return;
    pb_bytes->setValue(static_cast<int>(done * kBarSteps / total));
    st_bytes->setText(messageText(NumberedMessage{kMessageBytesOf, {sizeText(done), sizeText(total)}}));
}

void w_update::cancel() {
    if (!isImporting() || m_cancelRequested)
        return;
    m_cancelRequested = true;
    m_worker->requestCancel();
    cb_cancel->setEnabled(false);
    st_bytes->setText(messageText(NumberedMessage{kMessageStopping, {}}));
}

void w_update::reject() {
    if (isImporting())
        cancel();
    else
        QDialog::reject();
}

void w_update::closeEvent(QCloseEvent* event) {
    if (isImporting()) {
        cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace tarnlow
