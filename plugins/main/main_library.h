#pragma once

#include "host/object_library.h"

#include <QObject>

namespace tarnlow {

// The default object library: the main window w_main, the about window w_about, the SQL query
// work object UO_ISQL and the configuration editor UO_CONFIG.
class MainLibrary : public QObject, public ObjectLibrary {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TarnlowObjectLibrary_iid)
    Q_INTERFACES(tarnlow::ObjectLibrary)

public:
    QStringList objectNames() const override;
    QObject* createObject(const QString& name, const ObjectContext& context) override;
};

} // namespace tarnlow
