#include "main_library.h"

#include "uo_clients.h"
#include "uo_config.h"
#include "uo_isql.h"
#include "w_about.h"
#include "w_main.h"

#include <QWidget>

namespace tarnlow {
namespace {

bool named(const QString& name, const char* wanted) {
    return name.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
}

} // namespace

QStringList MainLibrary::objectNames() const {
    return {QStringLiteral("w_main"), QStringLiteral("w_about"), QStringLiteral("UO_ISQL"),
            QStringLiteral("UO_CLIENTS"), QStringLiteral("UO_CONFIG")};
}

QObject* MainLibrary::createObject(const QString& name, const ObjectContext& context) {
    auto* parent = qobject_cast<QWidget*>(context.parent);
    if (named(name, "w_main"))
        return new w_main(context, parent);
    if (named(name, "w_about"))
        return new w_about(context.sqlca, parent);
    if (named(name, "UO_ISQL"))
        return new uo_isql(context.sqlca, parent);
    if (named(name, "UO_CLIENTS"))
        return new uo_clients(context.sqlca, parent);
    if (named(name, "UO_CONFIG"))
        return new uo_config(context.sqlca, parent);
    return nullptr;
}

} // namespace tarnlow
