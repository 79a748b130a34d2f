#include "main_library.h"

#include "w_about.h"
#include "w_main.h"

#include <QWidget>

namespace tarnlow {

QStringList MainLibrary::objectNames() const {
    return {QStringLiteral("w_main"), QStringLiteral("w_about")};
}

QObject* MainLibrary::createObject(const QString& name, const ObjectContext& context) {
    auto* parent = qobject_cast<QWidget*>(context.parent);
    if (name.compare(QStringLiteral("w_main"), Qt::CaseInsensitive) == 0)
        return new w_main(context, parent);
    if (name.compare(QStringLiteral("w_about"), Qt::CaseInsensitive) == 0)
        return new w_about(parent);
    return nullptr;
}

} // namespace tarnlow
