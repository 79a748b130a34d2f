#pragma once

#include <QTreeWidget>

namespace tarnlow {

class DataStore;
class LibrarySearchList;

// The tree of work items built from the menu list: one item per row, below the item whose
// item_index is the row's parent_index (top level for 0 or a parent that does not exist), in the
// order of the list, so that parents come before children and siblings follow item_order. An item
// whose work object no library of the search list provides is disabled, and its tooltip names the
// object and the libraries searched.
class WorkItemTree : public QTreeWidget {
    Q_OBJECT

public:
    explicit WorkItemTree(QWidget* parent = nullptr);

    // Replaces the items with the rows of the menu list (nothing when there is none). Without a
    // search list every item stays enabled.
    void fill(const DataStore* menu, const LibrarySearchList* libraries = nullptr);
    // Captions from section TREE of the current language file under each row's lang_id, the row's
    // item_name when the key is missing or the row has none; the tooltips of disabled items.
    void applyLanguage();

    // The work object the item opens, empty for an item that only groups others.
    static QString workObjectName(const QTreeWidgetItem* item);
    static qint64 itemIndex(const QTreeWidgetItem* item);
    static qint64 parentIndex(const QTreeWidgetItem* item);
    // The item of a row by its item_index, nullptr when none.
    QTreeWidgetItem* findByIndex(qint64 index) const;

private:
    QString m_searchedLibraries; // the search list the disabled items' tooltips name
};

} // namespace tarnlow
