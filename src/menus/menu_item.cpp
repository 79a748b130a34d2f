#include "menus/menu_item.h"

namespace tarnlow {

MenuItem::MenuItem(const QString& name, const QString& tag, const QString& text, MenuItem* parent)
    : QObject(parent)
    , m_tag(tag)
    , m_text(text) {
    setObjectName(name);
    if (parent != nullptr)
        parent->addItem(this);
}

void MenuItem::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    Q_EMIT changed();
}

void MenuItem::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    Q_EMIT changed();
}

void MenuItem::setCheckable(bool checkable) {
    if (checkable == m_checkable)
        return;
    m_checkable = checkable;
    Q_EMIT changed();
}

void MenuItem::setChecked(bool checked) {
    if (checked == m_checked)
        return;
    m_checked = checked;
    Q_EMIT changed();
}

MenuItem* MenuItem::find(const QString& name) {
    if (objectName().compare(name, Qt::CaseInsensitive) == 0)
        return this;
    for (MenuItem* item : std::as_const(m_items)) {
        if (MenuItem* found = item->find(name))
            return found;
    }
    return nullptr;
}

bool MenuItem::choose() {
    if (!m_enabled)
        return false;
    Q_EMIT chosen();
    return true;
}

void MenuItem::addItem(MenuItem* item) {
    m_items.append(item);
    // A deleted item leaves the menu; destroyed() arrives while the item is half gone, so only
    // its address is used.
    connect(item, &QObject::destroyed, this, [this, item] { removeItem(item); });
    Q_EMIT itemAdded(item);
}

void MenuItem::removeItem(MenuItem* item) {
    if (m_items.removeOne(item))
        Q_EMIT itemRemoved(item);
}

} // namespace tarnlow
