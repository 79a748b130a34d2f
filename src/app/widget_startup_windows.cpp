#include "app/widget_startup_windows.h"

#include "db/transaction.h"
#include "host/library_search_list.h"
#include "host/object_library.h"
#include "lang/f_msgbox.h"

#include <QApplication>
#include <QtDebug>

namespace tarnlow {
namespace {

constexpr int kMessageCannotApplyPackages = 10600; // the command line

} // namespace

std::optional<int> WidgetStartupWindows::openLogin(Transaction& sqlca, int first) {
    if (login)
        return login(sqlca, first);
    return std::nullopt;
}

std::optional<int> WidgetStartupWindows::openUpdate(Transaction& sqlca, const QString& commandLine) {
    if (update)
        return update(sqlca, commandLine);
    f_msgbox(NumberedMessage{kMessageCannotApplyPackages, {commandLine}});
    return std::nullopt;
}

void WidgetStartupWindows::openVersionCheck(Transaction& sqlca) {
    if (versionCheck)
        versionCheck(sqlca);
}

Result<void> WidgetStartupWindows::openMain(LibrarySearchList& libraries, Transaction& sqlca) {
    const QString name = QStringLiteral("w_main");
    ObjectContext context;
    context.sqlca = &sqlca;
    context.libraries = &libraries;
    QObject* object = libraries.createObject(name, context);
    if (object == nullptr)
        return Error{QStringLiteral("No object library provides the main window w_main (library list: %1).")
                         .arg(libraries.list())};
    auto* window = qobject_cast<QWidget*>(object);
    if (window == nullptr) {
        delete object;
        return Error{
            QStringLiteral("The object w_main of %1 is not a window.").arg(libraries.providerOf(name))};
    }
    // Named as the program knows it, whichever library made it: the language items find the main
    // window by this name.
    window->setObjectName(name);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    m_main = window;
    return {};
}

void WidgetStartupWindows::closeAll() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            window->close();
    }
    // Windows closed with WA_DeleteOnClose go away before the restarted start-up opens new ones.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace tarnlow
