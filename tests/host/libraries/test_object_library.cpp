#include "test_object_library.h"

QStringList TestObjectLibrary::objectNames() const {
    return QStringLiteral(TARNLOW_TEST_LIBRARY_OBJECTS).split(QLatin1Char(','));
}

QObject* TestObjectLibrary::createObject(const QString& name, const tarnlow::ObjectContext& context) {
    for (const QString& own : objectNames()) {
        if (own.compare(name, Qt::CaseInsensitive) == 0) {
            auto* object = new QObject(context.parent);
            object->setObjectName(QStringLiteral(TARNLOW_TEST_LIBRARY_NAME ":") + own);
            return object;
        }
    }
    return nullptr;
}
