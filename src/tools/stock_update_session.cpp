#include "tools/stock_update_session.h"

#include "db/transaction.h"

#include <QRegularExpression>
#include <QStringList>

namespace tarnlow {

void configureOdbcTransaction(Transaction& transaction, const QString& connectString) {
    transaction.DBMS = kDbmsOdbc;
    transaction.AutoCommit = false;
    QString quoted = connectString;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    transaction.DBParm = QStringLiteral("ConnectString='") + quoted + QLatin1Char('\'');
}

namespace {

const QRegularExpression& passwordEntry() {
    static const QRegularExpression password(
        QStringLiteral("(^|;)(\\s*PWD\\s*=)(\\s*\\{(?:[^}]|\\}\\})*\\}|[^;]*)"),
        QRegularExpression::CaseInsensitiveOption);
    return password;
}

} // namespace

QString connectStringForDisplay(const QString& connectString) {
    QString text = connectString;
    text.replace(passwordEntry(), QStringLiteral("\\1\\2***"));
    return text;
}

QString connectStringWithPasswords(const QString& shown, const QString& previous) {
    QStringList values;
    for (const QRegularExpressionMatch& match : passwordEntry().globalMatch(previous))
        values.append(match.captured(3));
    QString text;
    qsizetype copied = 0;
    qsizetype index = 0;
    for (const QRegularExpressionMatch& match : passwordEntry().globalMatch(shown)) {
        if (match.captured(3) == QLatin1String("***") && index < values.size()) {
            text += shown.mid(copied, match.capturedStart(3) - copied) + values.at(index);
            copied = match.capturedEnd(3);
        }
        ++index;
    }
    return text + shown.mid(copied);
}

StockUpdateSession::StockUpdateSession(QObject* parent)
    : QObject(parent) {
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("stock update"));
    m_thread.start();
}

StockUpdateSession::~StockUpdateSession() {
    m_stop = true;
    QMetaObject::invokeMethod(
        m_worker, [this] { m_odbc.reset(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void StockUpdateSession::connectTo(const QString& connectString) {
    m_busy = true;
    QMetaObject::invokeMethod(m_worker, [this, connectString] {
        m_odbc.reset();
        auto odbc = std::make_unique<Transaction>();
        configureOdbcTransaction(*odbc, connectString);
        const bool ok = odbc->connect() == kSqlSuccess;
        const QString text = odbc->SQLErrText;
        if (ok)
            m_odbc = std::move(odbc);
        QMetaObject::invokeMethod(this, [this, ok, text] {
            m_busy = false;
            m_connected = ok;
            Q_EMIT connectFinished(ok, text);
        });
    });
}

void StockUpdateSession::start(const QList<StockRow>& rows) {
    m_busy = true;
    m_running = true;
    m_stop = false;
    QMetaObject::invokeMethod(m_worker, [this, rows] {
        StockUpdateReport report;
        if (!m_odbc) {
            report.rowCount = static_cast<int>(rows.size());
            report.end = StockRunEnd::Failed;
            report.failureText = QStringLiteral("not connected to a data source");
        } else {
            report = runStockUpdate(
                *m_odbc, rows,
                [this](const StockRowOutcome& outcome) {
                    QMetaObject::invokeMethod(this, [this, outcome] { Q_EMIT rowDone(outcome); });
                },
                &m_stop);
        }
        QMetaObject::invokeMethod(this, [this, report] {
            m_busy = false;
            m_running = false;
            Q_EMIT runFinished(report);
        });
    });
}

} // namespace tarnlow
