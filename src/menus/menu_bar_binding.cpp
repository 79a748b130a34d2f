#include "menus/menu_bar_binding.h"

#include "menus/menu_item.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace tarnlow {

MenuBarBinding::MenuBarBinding(MenuItem& root, QMenuBar& bar, QObject* parent)
    : QObject(parent)
    , m_bar(&bar) {
    for (MenuItem* item : root.items())
        addShown(item, m_bar);
    connect(&root, &MenuItem::itemAdded, this, [this](MenuItem* item) { addShown(item, m_bar); });
    connect(&root, &MenuItem::itemRemoved, this, &MenuBarBinding::removeShown);
}

QAction* MenuBarBinding::actionFor(const MenuItem* item) const {
    return m_actions.value(item, nullptr);
}

QMenu* MenuBarBinding::menuFor(const MenuItem* item) const {
    return m_menus.value(item, nullptr);
}

void MenuBarBinding::addShown(MenuItem* item, QWidget* container) {
    auto* parentMenu = qobject_cast<QMenu*>(container);
    QAction* action = nullptr;
    QMenu* menu = nullptr;
    // The bar holds menus only; below it an item is a menu when it has items of its own.
    if (parentMenu == nullptr || !item->items().isEmpty()) {
        menu = new QMenu(container);
        menu->setObjectName(item->name());
        action = menu->menuAction();
        if (parentMenu != nullptr)
            parentMenu->addMenu(menu);
        else
            m_bar->addMenu(menu);
        m_menus.insert(item, menu);
    } else {
        action = new QAction(container);
        action->setObjectName(item->name());
        parentMenu->addAction(action);
        connect(action, &QAction::triggered, item, [this, item] {
            item->choose();
            // A checkable action toggles itself; the item decides what it shows.
            update(item);
        });
    }
    m_actions.insert(item, action);
    connect(action, &QObject::destroyed, this, [this, item] {
        m_actions.remove(item);
        m_menus.remove(item);
    });
    connect(item, &MenuItem::changed, this, [this, item] { update(item); });
    update(item);
    if (menu != nullptr) {
        for (MenuItem* child : item->items())
            addShown(child, menu);
        connect(item, &MenuItem::itemAdded, this, [this, menu](MenuItem* child) { addShown(child, menu); });
        connect(item, &MenuItem::itemRemoved, this, &MenuBarBinding::removeShown);
    }
}

void MenuBarBinding::removeShown(MenuItem* item) {
    // The item is being destroyed: only its address is used.
    QMenu* menu = m_menus.take(item);
    QAction* action = m_actions.take(item);
    if (menu != nullptr)
        delete menu;
    else
        delete action;
}

void MenuBarBinding::update(const MenuItem* item) {
    QAction* action = m_actions.value(item, nullptr);
    if (action == nullptr)
        return;
    action->setText(item->text());
    if (QMenu* menu = m_menus.value(item, nullptr))
        menu->setTitle(item->text());
    action->setEnabled(item->isEnabled());
    action->setCheckable(item->isCheckable());
    action->setChecked(item->isChecked());
}

} // namespace tarnlow
