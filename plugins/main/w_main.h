#pragma once

#include "host/object_library.h"

#include <QMainWindow>

class QTreeWidget;

namespace tarnlow {

// The main work window: the tree of work items from the menu list (gds_menu) and a Help menu
// that opens w_about through the library search list.
class w_main : public QMainWindow {
    Q_OBJECT

public:
    w_main(const ObjectContext& context, QWidget* parent = nullptr);

    // Makes the language file current and shows the window's texts in it. Language items call it
    // by name.
    Q_INVOKABLE void wf_change_lang(const QString& languageFile);

    QTreeWidget* workItems() const { return m_tree; }

private:
    void fillWorkItems();
    void applyLanguage();
    void openAbout();

    ObjectContext m_context;
    QTreeWidget* m_tree = nullptr;
    QMenu* m_help = nullptr;
    QAction* m_about = nullptr;
};

} // namespace tarnlow
