#pragma once

#include "host/object_library.h"

#include <QObject>

// An object library for the tests: it provides the objects named at build time
// (TARNLOW_TEST_LIBRARY_OBJECTS, comma-separated) as plain QObjects (windows, for names starting
// with "w_" in a process with a QApplication) whose objectName and property tarnlow_test_origin
// are "<library>:<name>", so a test can tell which library created an object.
class TestObjectLibrary : public QObject, public tarnlow::ObjectLibrary {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TarnlowObjectLibrary_iid)
    Q_INTERFACES(tarnlow::ObjectLibrary)

public:
    QStringList objectNames() const override;
    QObject* createObject(const QString& name, const tarnlow::ObjectContext& context) override;
};
