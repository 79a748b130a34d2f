#pragma once

#include <QHash>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace tarnlow {

class MenuItem;

// Shows a menu item tree in a menu bar: each item directly below the root is a menu of the bar,
// an item with sub-items a sub-menu, every other item an action. Captions, enabled and checked
// states follow the items; items added or removed later appear and disappear; triggering an action
// chooses its item.
class MenuBarBinding : public QObject {
    Q_OBJECT

public:
    MenuBarBinding(MenuItem& root, QMenuBar& bar, QObject* parent = nullptr);

    // The action that shows the item (a menu's own action for an item with a menu), nullptr when
    // the item is not shown.
    QAction* actionFor(const MenuItem* item) const;
    // The menu of an item shown as a menu, nullptr otherwise.
    QMenu* menuFor(const MenuItem* item) const;

private:
    void addShown(MenuItem* item, QWidget* container);
    void removeShown(MenuItem* item);
    void update(const MenuItem* item);

    QMenuBar* m_bar;
    QHash<const MenuItem*, QAction*> m_actions;
    QHash<const MenuItem*, QMenu*> m_menus;
};

} // namespace tarnlow
