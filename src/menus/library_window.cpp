#include "menus/library_window.h"

#include "host/library_search_list.h"
#include "lang/f_msgbox.h"

#include <QApplication>
#include <QWidget>

namespace tarnlow {

QWidget* createLibraryWindow(const QString& name, const ObjectContext& context) {
    const LibrarySearchList* libraries = context.libraries;
    if (libraries == nullptr || !libraries->provides(name)) {
        f_msgbox(kMessageObjectNotProvided, {name, libraries != nullptr ? libraries->list() : QString()});
        return nullptr;
    }
    QObject* object = libraries->createObject(name, context);
    auto* window = qobject_cast<QWidget*>(object);
    if (window == nullptr) {
        delete object;
        f_msgbox(kMessageObjectNotWindow, {name, libraries->providerOf(name)});
        return nullptr;
    }
    return window;
}

QObject* findMainWindow() {
    QWidget* hidden = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName().compare(QStringLiteral("w_main"), Qt::CaseInsensitive) != 0)
            continue;
        if (window->isVisible())
            return window;
        if (hidden == nullptr)
            hidden = window;
    }
    return hidden;
}

} // namespace tarnlow
