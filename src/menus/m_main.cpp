#include "menus/m_main.h"

#include "host/shell_open.h"
#include "menus/library_window.h"
#include "menus/m_dynamic.h"
#include "menus/main_menu_items.h"
#include "menus/menu_bar_binding.h"
#include "menus/of_enum.h"

#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QtDebug>

namespace tarnlow {

m_main::m_main(QMenuBar& bar, const ObjectContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_root(createMainMenuItems()) {
    m_binding = new MenuBarBinding(*m_root, bar, this);
    MenuItem* web = item(QStringLiteral("m_web"));
    connect(web, &MenuItem::chosen, this, [web] {
        // Whatever the caption holds is handed over; a caption that is no address opens nothing.
        if (!shellOpen(web->text()))
            qWarning().noquote() << "tarnlow_as: the desktop could not open" << web->text();
    });
    connect(item(QStringLiteral("m_about")), &MenuItem::chosen, this, &m_main::openAbout);
}

m_main::~m_main() {
    // The binding goes first, so that the items' removal does not reach a half-destroyed binding.
    delete m_binding;
    m_binding = nullptr;
}

MenuItem* m_main::item(const QString& name) const {
    return m_root->find(name);
}

QMenu* m_main::menuOf(const QString& name) const {
    return m_binding->menuFor(item(name));
}

QAction* m_main::actionOf(const QString& name) const {
    return m_binding->actionFor(item(name));
}

int m_main::of_enum(MenuItem& am_mune) {
    return tarnlow::of_enum(am_mune);
}

void m_main::setLanguageItems(const QList<LanguageEntry>& languages) {
    MenuItem* lang = item(QStringLiteral("m_lang"));
    const QList<MenuItem*> old = lang->items();
    qDeleteAll(old);
    for (const LanguageEntry& language : languages) {
        const QString caption = language.name.trimmed().isEmpty() ? language.fileName : language.name;
        new m_dynamic(language.fileName, caption, *lang, findMainWindow);
    }
}

QList<m_dynamic*> m_main::languageItems() const {
    QList<m_dynamic*> result;
    for (MenuItem* entry : item(QStringLiteral("m_lang"))->items()) {
        if (auto* language = entry->findChild<m_dynamic*>(QString(), Qt::FindDirectChildrenOnly))
            result.append(language);
    }
    return result;
}

void m_main::showCurrentLanguage(const QString& languageFile) {
    for (m_dynamic* language : languageItems())
        language->m_item->setChecked(language->is_lang == languageFile);
}

void m_main::openAbout() {
    ObjectContext context = m_context;
    QWidget* about = createLibraryWindow(QStringLiteral("w_about"), context);
    if (about == nullptr)
        return;
    about->setAttribute(Qt::WA_DeleteOnClose);
    if (auto* dialog = qobject_cast<QDialog*>(about))
        dialog->open();
    else
        about->show();
}

} // namespace tarnlow
