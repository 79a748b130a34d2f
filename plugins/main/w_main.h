#pragma once

#include "host/object_library.h"

#include <QMainWindow>

class QAction;
class QMenu;
class QTabWidget;
class QTreeWidgetItem;

namespace tarnlow {

class WorkItemTree;
class m_main;

// Numbered messages of the main window.
inline constexpr int kMessageLanguageUnreadable = 10701; // the file, why, the language kept
inline constexpr int kMessageLanguageNotStored = 10704;  // the file, the settings file

// The main work window: the main menu m_main with one language item per language file, a Tools
// menu, the tree of work items from the menu list (gds_menu) and, beside it, the work objects the
// operator opened from the tree, one tab each.
class w_main : public QMainWindow {
    Q_OBJECT

public:
    w_main(const ObjectContext& context, QWidget* parent = nullptr);

    // Makes the language file (a file name in the program folder) current, keeps the choice in the
    // setting Lang for the next start and shows every text of the window in it at once. A file that
    // does not exist or cannot be read leaves the language as it is and says why. Language items
    // call it by name.
    Q_INVOKABLE void wf_change_lang(const QString& languageFile);

    WorkItemTree* workItems() const { return m_tree; }
    QTabWidget* workArea() const { return m_tabs; }
    m_main* mainMenu() const { return m_menu; }
    QMenu* toolsMenu() const { return m_tools; }
    QAction* clientsAction() const { return m_clients; }
    // Null when no library provides w_test.
    QAction* odbcTestAction() const { return m_odbcTest; }
    // File menu: close the current work tab (Ctrl+W) and leave the program (Ctrl+Q).
    QAction* closeTabAction() const { return m_closeTab; }
    QAction* exitAction() const { return m_exit; }

    // Closes the work tab at index; a work object that refuses to close (unsaved changes kept)
    // stays. True when the tab is gone.
    bool closeWorkTab(int index);

    // Opens the work object of a tree item through the library search list, with the row's
    // open_parm; an item that only groups others opens nothing. True when a work object shows.
    bool openWorkItem(QTreeWidgetItem* item);

protected:
    // Every work tab is closed first, so that a work object can keep its unsaved changes.
    void closeEvent(QCloseEvent* event) override;

private:
    void createFileItems();
    void createToolsMenu();
    void applyLanguage();
    QString openParameterOf(const QTreeWidgetItem* item);
    void openPackageBuilder();
    void openOdbcTest();
    void openClients();

    ObjectContext m_context;
    m_main* m_menu = nullptr;
    WorkItemTree* m_tree = nullptr;
    QTabWidget* m_tabs = nullptr;
    QMenu* m_tools = nullptr;
    QAction* m_packageBuilder = nullptr;
    QAction* m_odbcTest = nullptr;
    QAction* m_clients = nullptr;
    QAction* m_closeTab = nullptr;
    QAction* m_exit = nullptr;
};

} // namespace tarnlow
