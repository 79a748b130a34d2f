#include "w_main.h"

#include "app/application_globals.h"
#include "db/data_store.h"
#include "host/library_search_list.h"
#include "host/message_box.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "lang/language_lookup.h"
#include "lang/language_switch.h"

#include <QDialog>
#include <QHash>
#include <QHeaderView>
#include <QMenuBar>
#include <QTreeWidget>

namespace tarnlow {

w_main::w_main(const ObjectContext& context, QWidget* parent)
    : QMainWindow(parent)
    , m_context(context) {
    setObjectName(QStringLiteral("w_main"));
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("tv_1"));
    m_tree->setHeaderHidden(true);
    setCentralWidget(m_tree);

    m_help = menuBar()->addMenu(QString());
    m_about = m_help->addAction(QString());
    m_about->setShortcut(QKeySequence::HelpContents);
    connect(m_about, &QAction::triggered, this, &w_main::openAbout);

    fillWorkItems();
    applyLanguage();
    resize(800, 560);
}

void w_main::fillWorkItems() {
    m_tree->clear();
    if (!gds_menu)
        return;
    // Rows arrive sorted by parent, then order; a parent may come after its children, so items
    // are created first and attached in a second pass.
    QHash<qint64, QTreeWidgetItem*> items;
    QList<std::pair<qint64, QTreeWidgetItem*>> pending;
    for (int row = 1; row <= gds_menu->rowCount(); ++row) {
        const qint64 index = gds_menu->getItemNumber(row, QStringLiteral("item_index")).value_or(0);
        const qint64 parentIndex = gds_menu->getItemNumber(row, QStringLiteral("parent_index")).value_or(0);
        auto* item = new QTreeWidgetItem;
        item->setData(0, Qt::UserRole,
                      gds_menu->getItemString(row, QStringLiteral("lang_id")).value_or(QString()).trimmed());
        item->setData(
            0, Qt::UserRole + 1,
            gds_menu->getItemString(row, QStringLiteral("item_name")).value_or(QString()).trimmed());
        item->setData(
            0, Qt::UserRole + 2,
            gds_menu->getItemString(row, QStringLiteral("object_name")).value_or(QString()).trimmed());
        items.insert(index, item);
        pending.append({parentIndex, item});
    }
    for (const auto& [parentIndex, item] : pending) {
        QTreeWidgetItem* parentItem = items.value(parentIndex, nullptr);
        if (parentItem != nullptr && parentItem != item)
            parentItem->addChild(item);
        else
            m_tree->addTopLevelItem(item);
    }
    m_tree->expandToDepth(0);
}

void w_main::applyLanguage() {
    setWindowTitle(
        lookup(QStringLiteral("TEXT"), QStringLiteral("APP_NAME"), QStringLiteral("Tarnlow私服辅助程序")));
    QFont face = font();
    face.setFamily(gs_font);
    setFont(face);
    m_help->setTitle(lookup(QStringLiteral("MENU"), QStringLiteral("m_help"), QStringLiteral("&Help")));
    m_about->setText(lookup(QStringLiteral("MENU"), QStringLiteral("m_about"), QStringLiteral("&About")));
    // Work items: caption from section TREE under the item's language key, the stored name otherwise.
    QList<QTreeWidgetItem*> stack;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        stack.append(m_tree->topLevelItem(i));
    while (!stack.isEmpty()) {
        QTreeWidgetItem* item = stack.takeLast();
        const QString key = item->data(0, Qt::UserRole).toString();
        const QString name = item->data(0, Qt::UserRole + 1).toString();
        item->setText(0, key.isEmpty() ? name : lookup(QStringLiteral("TREE"), key, name));
        for (int i = 0; i < item->childCount(); ++i)
            stack.append(item->child(i));
    }
}

void w_main::wf_change_lang(const QString& languageFile) {
    SettingsStore settings = SettingsStore::standard();
    const Result<void> switched = switchLanguage(languageFile, settings);
    applyLanguage();
    if (!switched) {
        MessageBoxRequest request;
        request.title = windowTitle();
        request.text = switched.error();
        request.icon = MessageIcon::Warning;
        showMessageBox(request);
    }
}

void w_main::openAbout() {
    if (m_context.libraries == nullptr)
        return;
    ObjectContext context = m_context;
    context.parent = this;
    QObject* object = m_context.libraries->createObject(QStringLiteral("w_about"), context);
    if (auto* dialog = qobject_cast<QDialog*>(object)) {
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    } else {
        delete object;
    }
}

} // namespace tarnlow
