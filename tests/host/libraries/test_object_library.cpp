#include "test_object_library.h"

QStringList TestObjectLibrary::objectNames() const {
    return QStringLiteral(TARNLOW_TEST_LIBRARY_OBJECTS).split(QLatin1Char(','));
}

QObject* TestObjectLibrary::createObject(const QString& name, QObject* parent) {
    for (const QString& own : objectNames()) {
        if (own.compare(name, Qt::CaseInsensitive) == 0) {
            auto* object = new QObject(parent);
            object->setObjectName(QStringLiteral(TARNLOW_TEST_LIBRARY_NAME ":") + own);
            return object;
        }
    }
    return nullptr;
}
