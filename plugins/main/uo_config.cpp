#include "uo_config.h"

#include "lang/f_msgbox.h"
#include "lang/language_globals.h"
#include "lang/language_lookup.h"
#include "lang/uo_std_cb.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tarnlow {
namespace {

enum Column { TypeColumn, ValueColumn, RemarkColumn };

// The type a row had when it was read, kept on its type cell; empty for a row added since.
constexpr int kLoadedTypeRole = Qt::UserRole;

bool isLoadedMarker(const QTableWidgetItem* type) {
    return type != nullptr &&
           type->data(kLoadedTypeRole).toString().compare(kConfigFirstRun, Qt::CaseInsensitive) == 0;
}

QString text(const char* key, const QString& designText) {
    return lookup(QStringLiteral("TEXT"), QLatin1String(key), designText);
}

QString helpText() {
    return text(
        "CONFIG_HELP",
        QStringLiteral("LIB：提供主窗口和工作对象的对象库，即程序文件夹中的文件名，用逗号分隔；"
                       "下次启动时先于程序自带的对象库查找。FR：首次运行标记；程序创建系统表时将其设为 N，"
                       "此处保持不变。保存时所有更改在一个事务中写入。"));
}

QString rowTip(const QString& type) {
    if (type.trimmed().compare(kConfigFirstRun, Qt::CaseInsensitive) == 0)
        return text("CONFIG_FR_TIP",
                    QStringLiteral("首次运行标记：不是 N 时，下次启动将重新创建系统表。此处不能修改。"));
    if (type.trimmed().compare(kConfigLibraries, Qt::CaseInsensitive) == 0)
        return text("CONFIG_LIB_TIP",
                    QStringLiteral("对象库：程序文件夹中的文件名，用逗号分隔，下次启动时生效。"));
    return {};
}

} // namespace

uo_config::uo_config(Transaction* sqlca, QWidget* parent)
    : QWidget(parent)
    , m_sqlca(sqlca) {
    setObjectName(QStringLiteral("UO_CONFIG"));
    auto* layout = new QVBoxLayout(this);
    st_help = new QLabel(this);
    st_help->setObjectName(QStringLiteral("st_help"));
    st_help->setWordWrap(true);
    layout->addWidget(st_help);

    dw_config = new QTableWidget(0, 3, this);
    dw_config->setObjectName(QStringLiteral("dw_config"));
    dw_config->setSelectionBehavior(QAbstractItemView::SelectRows);
    dw_config->setSelectionMode(QAbstractItemView::SingleSelection);
    dw_config->setTabKeyNavigation(false);
    dw_config->horizontalHeader()->setStretchLastSection(true);
    dw_config->verticalHeader()->setVisible(false);
    layout->addWidget(dw_config, 1);

    auto* buttons = new QHBoxLayout;
    cb_add = new uo_std_cb(QStringLiteral("CONFIG_ADD"), QStringLiteral("添加(&A)"), this);
    cb_add->setObjectName(QStringLiteral("cb_add"));
    cb_delete = new uo_std_cb(QStringLiteral("CONFIG_DELETE"), QStringLiteral("删除(&D)"), this);
    cb_delete->setObjectName(QStringLiteral("cb_delete"));
    cb_reload = new uo_std_cb(QStringLiteral("CONFIG_RELOAD"), QStringLiteral("重新读取(&R)"), this);
    cb_reload->setObjectName(QStringLiteral("cb_reload"));
    cb_save = new uo_std_cb(QStringLiteral("CONFIG_SAVE"), QStringLiteral("保存(&S)"), this);
    cb_save->setObjectName(QStringLiteral("cb_save"));
    for (uo_std_cb* button : {cb_add, cb_delete, cb_reload, cb_save}) {
        // Enter on a focused button presses it.
        button->setAutoDefault(true);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    st_status = new QLabel(this);
    st_status->setObjectName(QStringLiteral("st_status"));
    st_status->setWordWrap(true);
    st_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    buttons->addWidget(st_status, 2);
    layout->addLayout(buttons);
    setFocusProxy(dw_config);

    connect(cb_add, &QPushButton::clicked, this, &uo_config::addRow);
    connect(cb_delete, &QPushButton::clicked, this, &uo_config::deleteRow);
    connect(cb_reload, &QPushButton::clicked, this, [this] {
        if (!hasChanges() || askYesNo(NumberedMessage{kMessageConfigDiscardQuestion, {}}))
            reload();
    });
    connect(cb_save, &QPushButton::clicked, this, [this] { save(); });
    connect(dw_config, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        describeRow(item->row());
        updateButtons();
    });
    connect(dw_config, &QTableWidget::currentCellChanged, this, [this] { updateButtons(); });

    ue_change_lang();
    reload();
}

void uo_config::ue_change_lang() {
    st_help->setText(helpText());
    dw_config->setHorizontalHeaderLabels({text("CONFIG_TYPE", QStringLiteral("类型")),
                                          text("CONFIG_VALUE", QStringLiteral("值")),
                                          text("CONFIG_REMARK", QStringLiteral("备注"))});
    for (int row = 0; row < dw_config->rowCount(); ++row)
        describeRow(row);
}

QList<ConfigRow> uo_config::editedRows() const {
    QList<ConfigRow> rows;
    const auto cell = [this](int row, int column) {
        const QTableWidgetItem* item = dw_config->item(row, column);
        return item != nullptr ? item->text() : QString();
    };
    for (int row = 0; row < dw_config->rowCount(); ++row)
        rows.append(ConfigRow{cell(row, TypeColumn), cell(row, ValueColumn), cell(row, RemarkColumn)});
    return rows;
}

bool uo_config::hasChanges() const {
    return editedRows() != m_loaded;
}

void uo_config::setRow(int row, const ConfigRow& values, bool loaded) {
    const QStringList texts{values.type, values.value, values.remark};
    for (int column = 0; column < texts.size(); ++column)
        dw_config->setItem(row, column, new QTableWidgetItem(texts.at(column)));
    if (loaded)
        dw_config->item(row, TypeColumn)->setData(kLoadedTypeRole, values.type);
    describeRow(row);
}

// The marker's cells cannot be edited; the marker and LIB rows say what they are for.
void uo_config::describeRow(int row) {
    const QSignalBlocker quiet(dw_config);
    QTableWidgetItem* type = dw_config->item(row, TypeColumn);
    const bool marker = isLoadedMarker(type);
    const QString tip = rowTip(type != nullptr ? type->text() : QString());
    for (int column = 0; column < dw_config->columnCount(); ++column) {
        QTableWidgetItem* item = dw_config->item(row, column);
        if (item == nullptr)
            continue;
        item->setToolTip(tip);
        if (marker)
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    }
}

void uo_config::fillGrid(const QList<ConfigRow>& rows) {
    const QSignalBlocker quiet(dw_config);
    dw_config->setRowCount(0);
    dw_config->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < rows.size(); ++row)
        setRow(row, rows.at(row), true);
    dw_config->resizeColumnToContents(TypeColumn);
}

bool uo_config::reload() {
    if (m_sqlca == nullptr) {
        showStatus(text("ISQL_NO_CONNECTION", QStringLiteral("没有数据库连接。")), true);
        return false;
    }
    const Result<QList<ConfigRow>> rows = readConfigRows(*m_sqlca);
    if (!rows) {
        showStatus(fillPlaceholders(text("CONFIG_UNREADABLE", QStringLiteral("无法读取T_SYS_CONFIG：%%")),
                                    {rows.error()}),
                   true);
        return false;
    }
    m_loaded = *rows;
    fillGrid(m_loaded);
    showStatus(QString(), false);
    updateButtons();
    return true;
}

bool uo_config::save() {
    if (m_sqlca == nullptr || !hasChanges())
        return true;
    const QList<ConfigRow> edited = editedRows();
    if (const std::optional<NumberedMessage> problem = configRowsProblem(m_loaded, edited, gs_path)) {
        f_msgbox(*problem);
        return false;
    }
    const Result<ConfigChanges, NumberedMessage> saved = saveConfigRows(*m_sqlca, m_loaded, edited);
    if (!saved) {
        f_msgbox(saved.error());
        return false;
    }
    reload();
    showStatus(
        fillPlaceholders(text("CONFIG_SAVED", QStringLiteral("已保存：新增%%行，修改%%行，删除%%行。")),
                         {QString::number(saved->added), QString::number(saved->changed),
                          QString::number(saved->deleted)}),
        false);
    return true;
}

void uo_config::addRow() {
    const int row = dw_config->rowCount();
    {
        const QSignalBlocker quiet(dw_config);
        dw_config->insertRow(row);
        setRow(row, ConfigRow{}, false);
    }
    dw_config->setCurrentCell(row, TypeColumn);
    dw_config->editItem(dw_config->item(row, TypeColumn));
    updateButtons();
}

void uo_config::deleteRow() {
    const int row = dw_config->currentRow();
    if (row < 0)
        return;
    if (isLoadedMarker(dw_config->item(row, TypeColumn))) {
        f_msgbox(NumberedMessage{kMessageConfigFirstRunKept, {}});
        return;
    }
    dw_config->removeRow(row);
    updateButtons();
}

void uo_config::showStatus(const QString& status, bool failure) {
    st_status->setText(status);
    st_status->setStyleSheet(failure ? QStringLiteral("color: #b00020;") : QString());
}

void uo_config::updateButtons() {
    cb_delete->setEnabled(dw_config->currentRow() >= 0);
    cb_save->setEnabled(m_sqlca != nullptr && hasChanges());
}

void uo_config::closeEvent(QCloseEvent* event) {
    if (hasChanges() && !askYesNo(NumberedMessage{kMessageConfigDiscardQuestion, {}})) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace tarnlow
