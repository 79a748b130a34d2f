#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace tarnlow {

// One item of a menu: its name, its tag (the language key of its caption), its caption and its
// state, and the items below it in menu order. The windows layer shows the tree as a menu bar and
// follows every change; choosing an item there comes back as choose().
class MenuItem : public QObject {
    Q_OBJECT

public:
    MenuItem(const QString& name, const QString& tag, const QString& text, MenuItem* parent = nullptr);

    QString name() const { return objectName(); }
    QString tag() const { return m_tag; }
    QString text() const { return m_text; }
    void setText(const QString& text);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isCheckable() const { return m_checkable; }
    void setCheckable(bool checkable);
    bool isChecked() const { return m_checked; }
    void setChecked(bool checked);

    // The items directly below this one, in menu order.
    const QList<MenuItem*>& items() const { return m_items; }
    MenuItem* parentItem() const { return qobject_cast<MenuItem*>(parent()); }
    // This item or the first item below it (depth first) with the name, nullptr when none.
    MenuItem* find(const QString& name);

    // What choosing the item does: emits chosen() when the item is enabled; a disabled item does
    // nothing and gives false.
    bool choose();

Q_SIGNALS:
    void changed();
    void chosen();
    void itemAdded(tarnlow::MenuItem* item);
    void itemRemoved(tarnlow::MenuItem* item);

private:
    void addItem(MenuItem* item);
    void removeItem(MenuItem* item);

    QString m_tag;
    QString m_text;
    bool m_enabled = true;
    bool m_checkable = false;
    bool m_checked = false;
    QList<MenuItem*> m_items;
};

} // namespace tarnlow
