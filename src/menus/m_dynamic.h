#pragma once

#include "menus/menu_item.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tarnlow {

// What choosing a language item came to.
enum class LanguageRequest {
    Sent,         // wf_change_lang of the main window was called with the item's language
    NoMainWindow, // no main window is open: nothing happened
    NoFunction,   // the main window offers no wf_change_lang(QString); a numbered message said so
};

// A language item: one per available language, placed below m_lang. Its only item, m_item, has no
// tag (of_enum leaves its caption alone); choosing it asks the main window, found at that moment,
// to switch to is_lang by calling its function wf_change_lang by name.
class m_dynamic : public QObject {
    Q_OBJECT

public:
    // Finds the process-wide main window, nullptr when none is open.
    using MainWindowLocator = std::function<QObject*()>;

    // Adds m_item (caption text) below parent; the language item lives as long as its m_item.
    m_dynamic(const QString& languageFile, const QString& text, MenuItem& parent, MainWindowLocator locator);

    QString is_lang;
    MenuItem* m_item = nullptr;

    // What choosing m_item does.
    LanguageRequest requestChange() const;

private:
    MainWindowLocator m_locator;
};

// The numbered message for a main window that lacks wf_change_lang: the window's name, its class,
// the language asked for.
inline constexpr int kMessageNoLanguageFunction = 10702;

} // namespace tarnlow
