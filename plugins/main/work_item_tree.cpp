#include "work_item_tree.h"

#include "db/data_store.h"
#include "host/library_search_list.h"
#include "lang/f_msgbox.h"
#include "lang/language_lookup.h"
#include "menus/library_window.h"

#include <QHash>

namespace tarnlow {
namespace {

enum Role {
    LanguageKeyRole = Qt::UserRole,
    ItemNameRole,
    ObjectNameRole,
    ItemIndexRole,
    ParentIndexRole,
};

QString trimmedText(const DataStore& menu, int row, const QString& column) {
    return menu.getItemString(row, column).value_or(QString()).trimmed();
}

// True when following the parents up from start reaches item: a row that names itself, or a
// chain of rows that leads back to it, as its parent. Such an item stays at the top.
bool leadsBackTo(const QTreeWidgetItem* item, const QTreeWidgetItem* start,
                 const QHash<qint64, QTreeWidgetItem*>& items) {
    const QTreeWidgetItem* up = start;
    for (qsizetype steps = 0; up != nullptr && steps <= items.size(); ++steps) {
        if (up == item)
            return true;
        const qint64 next = up->data(0, ParentIndexRole).toLongLong();
        up = next == 0 ? nullptr : items.value(next, nullptr);
    }
    return false;
}

} // namespace

WorkItemTree::WorkItemTree(QWidget* parent)
    : QTreeWidget(parent) {
    setObjectName(QStringLiteral("tv_1"));
    setHeaderHidden(true);
    setColumnCount(1);
}

void WorkItemTree::fill(const DataStore* menu, const LibrarySearchList* libraries) {
    clear();
    m_searchedLibraries = libraries != nullptr ? libraries->list() : QString();
    if (menu == nullptr)
        return;
    // A parent may come after its children in the list (a larger parent_index), so items are made
    // first and attached in a second pass, each group keeping the list's order.
    QHash<qint64, QTreeWidgetItem*> items;
    QList<QTreeWidgetItem*> ordered;
    for (int row = 1; row <= menu->rowCount(); ++row) {
        auto* item = new QTreeWidgetItem;
        item->setData(0, LanguageKeyRole, trimmedText(*menu, row, QStringLiteral("lang_id")));
        item->setData(0, ItemNameRole, trimmedText(*menu, row, QStringLiteral("item_name")));
        item->setData(0, ObjectNameRole, trimmedText(*menu, row, QStringLiteral("object_name")));
        const qint64 index = menu->getItemNumber(row, QStringLiteral("item_index")).value_or(0);
        item->setData(0, ItemIndexRole, index);
        item->setData(0, ParentIndexRole,
                      menu->getItemNumber(row, QStringLiteral("parent_index")).value_or(0));
        // An item that could only lead to "no library provides it" is shown as such, not offered.
        const QString object = workObjectName(item);
        if (libraries != nullptr && !object.isEmpty() && !libraries->provides(object))
            item->setDisabled(true);
        // Of two rows with the same number the first is the parent its children find.
        if (!items.contains(index))
            items.insert(index, item);
        ordered.append(item);
    }
    for (QTreeWidgetItem* item : ordered) {
        QTreeWidgetItem* parentItem =
            parentIndex(item) == 0 ? nullptr : items.value(parentIndex(item), nullptr);
        if (parentItem == nullptr || leadsBackTo(item, parentItem, items))
            addTopLevelItem(item);
        else
            parentItem->addChild(item);
    }
    expandToDepth(0);
    applyLanguage();
}

void WorkItemTree::applyLanguage() {
    QList<QTreeWidgetItem*> stack;
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        stack.append(topLevelItem(i));
    while (!stack.isEmpty()) {
        QTreeWidgetItem* item = stack.takeLast();
        const QString key = item->data(0, LanguageKeyRole).toString();
        const QString name = item->data(0, ItemNameRole).toString();
        item->setText(0, key.isEmpty() ? name : lookup(QStringLiteral("TREE"), key, name));
        if (item->isDisabled())
            item->setToolTip(0, messageText(NumberedMessage{kMessageObjectNotProvided,
                                                            {workObjectName(item), m_searchedLibraries}}));
        for (int i = item->childCount() - 1; i >= 0; --i)
            stack.append(item->child(i));
    }
}

QString WorkItemTree::workObjectName(const QTreeWidgetItem* item) {
    return item->data(0, ObjectNameRole).toString();
}

qint64 WorkItemTree::itemIndex(const QTreeWidgetItem* item) {
    return item->data(0, ItemIndexRole).toLongLong();
}

qint64 WorkItemTree::parentIndex(const QTreeWidgetItem* item) {
    return item->data(0, ParentIndexRole).toLongLong();
}

QTreeWidgetItem* WorkItemTree::findByIndex(qint64 index) const {
    QList<QTreeWidgetItem*> stack;
    for (int i = 0; i < topLevelItemCount(); ++i)
        stack.append(topLevelItem(i));
    while (!stack.isEmpty()) {
        QTreeWidgetItem* item = stack.takeFirst();
        if (itemIndex(item) == index)
            return item;
        for (int i = 0; i < item->childCount(); ++i)
            stack.append(item->child(i));
    }
    return nullptr;
}

} // namespace tarnlow
