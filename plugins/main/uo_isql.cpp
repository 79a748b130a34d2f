#include "uo_isql.h"

#include "lang/f_msgbox.h"
#include "lang/language_lookup.h"
#include "lang/uo_std_cb.h"
#include "lang/uo_std_st.h"
#include "query_result.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTextCursor>
#include <QVBoxLayout>

namespace tarnlow {

uo_isql::uo_isql(Transaction* sqlca, QWidget* parent)
    : QWidget(parent)
    , m_sqlca(sqlca) {
    setObjectName(QStringLiteral("UO_ISQL"));
    auto* layout = new QVBoxLayout(this);
    auto* splitter = new QSplitter(Qt::Vertical, this);

    mle_sql = new QPlainTextEdit(splitter);
    mle_sql->setObjectName(QStringLiteral("mle_sql"));
    mle_sql->setTabChangesFocus(true);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mle_sql->setFont(fixed);

    auto* bottom = new QWidget(splitter);
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    auto* controls = new QHBoxLayout;
    cb_run = new uo_std_cb(QStringLiteral("ISQL_RUN"), QStringLiteral("执行(&R)"), bottom);
    cb_run->setObjectName(QStringLiteral("cb_run"));
    cb_run->setToolTip(QStringLiteral("Ctrl+Enter"));
    st_limit = new uo_std_st(QStringLiteral("ISQL_ROW_LIMIT"), QStringLiteral("最多行数："), bottom);
    sle_limit = new QSpinBox(bottom);
    sle_limit->setObjectName(QStringLiteral("sle_limit"));
    sle_limit->setRange(1, 1000000);
    sle_limit->setValue(kDefaultRowLimit);
    st_limit->setBuddy(sle_limit);
    controls->addWidget(cb_run);
    controls->addSpacing(12);
    controls->addWidget(st_limit);
    controls->addWidget(sle_limit);
    controls->addStretch(1);
    bottomLayout->addLayout(controls);

    m_model = new QueryResultModel(this);
    dw_result = new QTableView(bottom);
    dw_result->setObjectName(QStringLiteral("dw_result"));
    dw_result->setModel(m_model);
    dw_result->setTabKeyNavigation(false);
    dw_result->horizontalHeader()->setStretchLastSection(true);
    bottomLayout->addWidget(dw_result, 1);

    st_status = new QLabel(bottom);
    st_status->setObjectName(QStringLiteral("st_status"));
    st_status->setWordWrap(true);
    st_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bottomLayout->addWidget(st_status);

    splitter->addWidget(mle_sql);
    splitter->addWidget(bottom);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter);
    setFocusProxy(mle_sql);

    connect(cb_run, &QPushButton::clicked, this, &uo_isql::run);
    // Ctrl+Enter runs from the editor (which would otherwise take it as a line break) and from any
    // other control of the object that leaves the key alone.
    mle_sql->installEventFilter(this);
}

namespace {

bool isRunKey(const QKeyEvent& key) {
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) &&
           key.modifiers().testFlag(Qt::ControlModifier);
}

} // namespace

bool uo_isql::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mle_sql && event->type() == QEvent::KeyPress &&
        isRunKey(*static_cast<QKeyEvent*>(event))) {
        run();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void uo_isql::keyPressEvent(QKeyEvent* event) {
    if (isRunKey(*event)) {
        run();
        return;
    }
    QWidget::keyPressEvent(event);
}

void uo_isql::run() {
    const QTextCursor cursor = mle_sql->textCursor();
    QString statement = cursor.hasSelection() ? cursor.selectedText() : mle_sql->toPlainText();
    // A selection carries paragraph separators instead of line feeds.
    statement.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    statement = statement.trimmed();
    if (statement.isEmpty())
        return;
    if (m_sqlca == nullptr) {
        m_model->setOutcome({});
        showStatus(QStringLiteral("ISQL_NO_CONNECTION"), QStringLiteral("没有数据库连接。"), {}, true);
        return;
    }
    const int limit = sle_limit->value();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QueryOutcome outcome = runQuery(*m_sqlca, statement, limit);
    QApplication::restoreOverrideCursor();
    m_model->setOutcome(outcome);
    if (!outcome.ok) {
        showStatus(QStringLiteral("ISQL_FAILED"), QStringLiteral("语句执行失败：%%"), {outcome.error}, true);
    } else if (!outcome.hasRows) {
        showStatus(QStringLiteral("ISQL_AFFECTED"), QStringLiteral("受影响的行数：%%"),
                   {QString::number(outcome.affectedRows)}, false);
    } else if (outcome.rowsLeftOut) {
        showStatus(QStringLiteral("ISQL_LEFT_OUT"), QStringLiteral("只显示前 %% 行，其余的行未显示。"),
                   {QString::number(limit)}, false);
    } else {
        showStatus(QStringLiteral("ISQL_ROWS"), QStringLiteral("共 %% 行"),
                   {QString::number(outcome.rows.size())}, false);
    }
    dw_result->resizeColumnsToContents();
}

void uo_isql::showStatus(const QString& key, const QString& designText, const QStringList& parameters,
                         bool failure) {
    m_statusKey = key;
    m_statusDesign = designText;
    m_statusParameters = parameters;
    m_statusFailure = failure;
    st_status->setText(fillPlaceholders(lookup(QStringLiteral("TEXT"), key, designText), parameters));
    st_status->setStyleSheet(failure ? QStringLiteral("color: #b00020;") : QString());
}

void uo_isql::ue_change_lang() {
    cb_run->ue_change_lang();
    st_limit->ue_change_lang();
    if (!m_statusKey.isEmpty())
        showStatus(m_statusKey, m_statusDesign, m_statusParameters, m_statusFailure);
}

} // namespace tarnlow
