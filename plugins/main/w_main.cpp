#include "w_main.h"

#include "app/application_globals.h"
#include "db/transaction.h"
#include "host/library_search_list.h"
#include "host/profile.h"
#include "host/settings_store.h"
#include "host/window_fit.h"
#include "lang/f_msgbox.h"
#include "lang/language_globals.h"
#include "lang/language_list.h"
#include "lang/language_lookup.h"
#include "lang/language_switch.h"
#include "menus/library_window.h"
#include "menus/m_main.h"
#include "update/w_temp.h"
#include "work_item_tree.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTabWidget>
#include <QtDebug>

#include <optional>

namespace tarnlow {
namespace {

const QString kOdbcTestObject = QStringLiteral("w_test");
const char* const kTreeItemProperty = "tarnlow_work_item_index";

// Why a language file cannot serve, no value when it can.
std::optional<QString> unusableLanguageFile(const QString& fileName) {
    if (fileName.trimmed().isEmpty())
        return QStringLiteral("no file name was given");
    const QString path = gs_path + fileName;
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 is not a file").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
    // Damaged lines alone do not make a file unusable: they fall back, and a notice says which.
    const std::optional<ProfileReadability> readability = profileReadability(path);
    if (!readability || !readability->anyLineRead)
        return QStringLiteral("%1 is neither UTF-8 nor GBK text").arg(path);
    return std::nullopt;
}

} // namespace

w_main::w_main(const ObjectContext& context, QWidget* parent)
    : QMainWindow(parent)
    , m_context(context) {
    setObjectName(QStringLiteral("w_main"));
    m_context.parent = this;
    m_context.openParameter.clear();

    m_menu = new m_main(*menuBar(), m_context, this);
    m_menu->setLanguageItems(languageList(gs_path));
    createFileItems();
    createToolsMenu();

    auto* splitter = new QSplitter(this);
    m_tree = new WorkItemTree(splitter);
    m_tabs = new QTabWidget(splitter);
    m_tabs->setObjectName(QStringLiteral("tab_1"));
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    splitter->addWidget(m_tree);
    splitter->addWidget(m_tabs);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 560});
    setCentralWidget(splitter);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, &w_main::closeWorkTab);
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { openWorkItem(item); });

    m_tree->fill(gds_menu.get(), m_context.libraries);
    if (m_tree->topLevelItemCount() > 0)
        m_tree->setCurrentItem(m_tree->topLevelItem(0));
    applyLanguage();
    // In proportion to the screen, so that a small or scaled screen shows the whole window.
    resize(screenShare(0.7, 0.75, QSize(480, 320), QSize(800, 560)));
    fitToScreen(*this);
    m_tree->setFocus();
}

void w_main::createFileItems() {
    QMenu* file = m_menu->menuOf(QStringLiteral("m_file"));
    file->addSeparator();
    m_closeTab = file->addAction(QString());
    m_closeTab->setObjectName(QStringLiteral("m_close_tab"));
    m_closeTab->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(m_closeTab, &QAction::triggered, this, [this] {
        if (m_tabs->currentIndex() >= 0)
            closeWorkTab(m_tabs->currentIndex());
    });
    m_exit = file->addAction(QString());
    m_exit->setObjectName(QStringLiteral("m_exit"));
    m_exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_exit->setMenuRole(QAction::QuitRole);
    connect(m_exit, &QAction::triggered, this, &QWidget::close);
}

bool w_main::closeWorkTab(int index) {
    QWidget* page = m_tabs->widget(index);
    if (page == nullptr)
        return false;
    if (!page->close())
        return false;
    m_tabs->removeTab(index);
    page->deleteLater();
    return true;
}

void w_main::closeEvent(QCloseEvent* event) {
    while (m_tabs->count() > 0) {
        if (!closeWorkTab(m_tabs->count() - 1)) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}

void w_main::createToolsMenu() {
    m_tools = new QMenu(this);
    m_tools->setObjectName(QStringLiteral("m_tools"));
    // Between Language and Help, where a desktop program keeps its tools.
    menuBar()->insertMenu(m_menu->menuOf(QStringLiteral("m_help"))->menuAction(), m_tools);
    m_packageBuilder = m_tools->addAction(QString());
    m_packageBuilder->setObjectName(QStringLiteral("m_package_builder"));
    connect(m_packageBuilder, &QAction::triggered, this, &w_main::openPackageBuilder);
    m_clients = m_tools->addAction(QString());
    m_clients->setObjectName(QStringLiteral("m_clients"));
    connect(m_clients, &QAction::triggered, this, &w_main::openClients);
    if (m_context.libraries != nullptr && m_context.libraries->provides(kOdbcTestObject)) {
        m_odbcTest = m_tools->addAction(QString());
        m_odbcTest->setObjectName(QStringLiteral("m_odbc_test"));
        connect(m_odbcTest, &QAction::triggered, this, &w_main::openOdbcTest);
    }
}

void w_main::applyLanguage() {
    setWindowTitle(
        lookup(QStringLiteral("TEXT"), QStringLiteral("APP_NAME"), QStringLiteral("Tarnlow私服辅助程序")));
    QFont face = font();
    face.setFamilies({gs_font});
    setFont(face);

    m_menu->of_enum(m_menu->root());
    m_menu->showCurrentLanguage(gs_lang);
    m_tools->setTitle(lookup(QStringLiteral("MENU"), QStringLiteral("m_tools"), QStringLiteral("工具(&T)")));
    m_packageBuilder->setText(lookup(QStringLiteral("MENU"), QStringLiteral("m_package_builder"),
                                     QStringLiteral("升级包制作(&U)")));
    m_clients->setText(
        lookup(QStringLiteral("MENU"), QStringLiteral("m_clients"), QStringLiteral("客户端(&C)")));
    m_closeTab->setText(
        lookup(QStringLiteral("MENU"), QStringLiteral("m_close_tab"), QStringLiteral("关闭工作页(&C)")));
    m_exit->setText(lookup(QStringLiteral("MENU"), QStringLiteral("m_exit"), QStringLiteral("退出(&X)")));
    if (m_odbcTest != nullptr)
        m_odbcTest->setText(
            lookup(QStringLiteral("MENU"), QStringLiteral("m_odbc_test"), QStringLiteral("ODBC测试(&O)")));

    m_tree->applyLanguage();
    for (int i = 0; i < m_tabs->count(); ++i) {
        const qint64 index = m_tabs->widget(i)->property(kTreeItemProperty).toLongLong();
        if (const QTreeWidgetItem* item = m_tree->findByIndex(index))
            m_tabs->setTabText(i, item->text(0));
    }

    // Every language-aware control below the window, work objects included, re-reads its texts.
    const QList<QObject*> controls = findChildren<QObject*>();
    for (QObject* control : controls) {
        if (control->metaObject()->indexOfMethod("ue_change_lang()") >= 0)
            QMetaObject::invokeMethod(control, "ue_change_lang", Qt::DirectConnection);
    }
}

void w_main::wf_change_lang(const QString& languageFile) {
    if (const std::optional<QString> problem = unusableLanguageFile(languageFile)) {
        f_msgbox(kMessageLanguageUnreadable, {languageFile, *problem, gs_lang});
        m_menu->showCurrentLanguage(gs_lang);
        return;
    }
    SettingsStore settings = SettingsStore::standard();
    const Result<void> stored = switchLanguage(languageFile, settings);
    applyLanguage();
    if (!stored)
        f_msgbox(kMessageLanguageNotStored, {languageFile, settings.filePath()});
    if (const std::optional<NumberedMessage> damaged = damagedLanguageFileNotice(currentLanguageFile()))
        f_msgbox(*damaged);
}

QString w_main::openParameterOf(const QTreeWidgetItem* item) {
    // The menu list leaves open_parm out; it is read for the one row being opened.
    Transaction* sqlca = m_context.sqlca;
    if (sqlca == nullptr || !sqlca->isConnected())
        return {};
    const std::optional<QVariantList> row = sqlca->selectInto(
        QStringLiteral("select open_parm from t_sys_menu where item_index = ? and parent_index = ?"),
        {WorkItemTree::itemIndex(item), WorkItemTree::parentIndex(item)});
    if (!row) {
        if (sqlca->SQLCode < 0)
            qWarning().noquote() << "tarnlow_as: open_parm cannot be read:" << sqlca->SQLErrText;
        return {};
    }
    return row->value(0).toString().trimmed();
}

bool w_main::openWorkItem(QTreeWidgetItem* item) {
    if (item == nullptr)
        return false;
    const QString name = WorkItemTree::workObjectName(item);
    // A disabled item's tooltip already says why it cannot open.
    if (name.isEmpty() || item->isDisabled())
        return false;
    const qint64 index = WorkItemTree::itemIndex(item);
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (m_tabs->widget(i)->property(kTreeItemProperty).toLongLong() == index) {
            m_tabs->setCurrentIndex(i);
            m_tabs->widget(i)->setFocus();
            return true;
        }
    }
    ObjectContext context = m_context;
    context.openParameter = openParameterOf(item);
    QWidget* object = createLibraryWindow(name, context);
    if (object == nullptr)
        return false;
    // A window of its own (a dialog or a main window) opens beside the main window; any other
    // work object becomes a tab of the work area.
    if (object->windowType() != Qt::Widget) {
        object->setAttribute(Qt::WA_DeleteOnClose);
        object->show();
        return true;
    }
    object->setProperty(kTreeItemProperty, index);
    m_tabs->setCurrentIndex(m_tabs->addTab(object, item->text(0)));
    object->setFocus();
    return true;
}

void w_main::openPackageBuilder() {
    auto* builder = new w_temp(FileDialogs::standard(), this);
    builder->setWindowFlag(Qt::Window);
    builder->setAttribute(Qt::WA_DeleteOnClose);
    builder->show();
}

// The clients' list opens as a window of its own, so that it stays beside the work area.
void w_main::openClients() {
    if (auto* open = findChild<QWidget*>(QStringLiteral("UO_CLIENTS"), Qt::FindDirectChildrenOnly)) {
        open->raise();
        open->activateWindow();
        return;
    }
    QWidget* window = createLibraryWindow(QStringLiteral("UO_CLIENTS"), m_context);
    if (window == nullptr)
        return;
    window->setParent(this, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(900, 420);
    window->show();
}

void w_main::openOdbcTest() {
    QWidget* window = createLibraryWindow(kOdbcTestObject, m_context);
    if (window == nullptr)
        return;
    window->setWindowFlag(Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

} // namespace tarnlow
