#include "test_object_library.h"

#ifdef TARNLOW_TEST_LIBRARY_WIDGETS
#include <QApplication>
#include <QWidget>
#endif

namespace {

// A window name in a process with a QApplication gets a real window.
QObject* newObject(const QString& name, QObject* parent) {
#ifdef TARNLOW_TEST_LIBRARY_WIDGETS
    if (name.startsWith(QStringLiteral("w_"), Qt::CaseInsensitive) &&
        qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        return new QWidget(qobject_cast<QWidget*>(parent));
#else
    Q_UNUSED(name);
#endif
    return new QObject(parent);
}

} // namespace

QStringList TestObjectLibrary::objectNames() const {
    return QStringLiteral(TARNLOW_TEST_LIBRARY_OBJECTS).split(QLatin1Char(','));
}

QObject* TestObjectLibrary::createObject(const QString& name, const tarnlow::ObjectContext& context) {
    for (const QString& own : objectNames()) {
        if (own.compare(name, Qt::CaseInsensitive) == 0) {
            QObject* object = newObject(own, context.parent);
            const QString origin = QStringLiteral(TARNLOW_TEST_LIBRARY_NAME ":") + own;
            object->setObjectName(origin);
            object->setProperty("tarnlow_test_origin", origin);
            return object;
        }
    }
    return nullptr;
}
