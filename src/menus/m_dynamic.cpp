#include "menus/m_dynamic.h"

#include "lang/f_msgbox.h"

#include <QMetaObject>

namespace tarnlow {

m_dynamic::m_dynamic(const QString& languageFile, const QString& text, MenuItem& parent,
                     MainWindowLocator locator)
    : is_lang(languageFile)
    , m_locator(std::move(locator)) {
    m_item = new MenuItem(QStringLiteral("m_item"), QString(), text, &parent);
    m_item->setCheckable(true);
    setParent(m_item);
    connect(m_item, &MenuItem::chosen, this, [this] { requestChange(); });
}

LanguageRequest m_dynamic::requestChange() const {
    QObject* mainWindow = m_locator ? m_locator() : nullptr;
    if (mainWindow == nullptr)
        return LanguageRequest::NoMainWindow;
    // By name, so that a main window from any library works as long as it offers the function.
    const QByteArray signature = QMetaObject::normalizedSignature("wf_change_lang(QString)");
    if (mainWindow->metaObject()->indexOfMethod(signature.constData()) < 0) {
        f_msgbox(
            kMessageNoLanguageFunction,
            {mainWindow->objectName(), QString::fromLatin1(mainWindow->metaObject()->className()), is_lang});
        return LanguageRequest::NoFunction;
    }
    QMetaObject::invokeMethod(mainWindow, "wf_change_lang", Qt::DirectConnection, Q_ARG(QString, is_lang));
    return LanguageRequest::Sent;
}

} // namespace tarnlow
