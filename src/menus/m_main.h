#pragma once

#include "host/object_library.h"
#include "lang/language_list.h"
#include "menus/menu_item.h"

#include <QList>
#include <QObject>

#include <memory>

class QAction;
class QMenu;
class QMenuBar;

namespace tarnlow {

class MenuBarBinding;
class m_dynamic;

// The main menu of w_main, shown in the window's menu bar: File (with the disabled update-file
// check), Language (one language item per language file) and Help (the web address and About).
// Choosing the web item hands its current caption to the desktop's open action; About opens
// w_about through the library search list.
class m_main : public QObject {
    Q_OBJECT

public:
    // context: the window that owns the menu (parent of w_about) and the library search list.
    m_main(QMenuBar& bar, const ObjectContext& context, QObject* parent = nullptr);
    ~m_main() override;

    MenuItem& root() { return *m_root; }
    // An item of the menu by name (m_file, m_check_ver, m_lang, m_help, m_web, m_about).
    MenuItem* item(const QString& name) const;
    // The menu that shows an item with sub-items (m_file, m_lang, m_help), nullptr otherwise.
    QMenu* menuOf(const QString& name) const;
    QAction* actionOf(const QString& name) const;

    // Re-texts the items below am_mune from section MENU of the current language file.
    int of_enum(MenuItem& am_mune);

    // Replaces the language items below m_lang: one per entry, its caption the language's name
    // (the file name when the file names none). Choosing one asks the process-wide w_main to switch.
    void setLanguageItems(const QList<LanguageEntry>& languages);
    QList<m_dynamic*> languageItems() const;
    // Checks the language item of the file and unchecks the others.
    void showCurrentLanguage(const QString& languageFile);

private:
    void openAbout();

    ObjectContext m_context;
    std::unique_ptr<MenuItem> m_root;
    MenuBarBinding* m_binding = nullptr;
};

} // namespace tarnlow
