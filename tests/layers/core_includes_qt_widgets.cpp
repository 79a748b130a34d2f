// A core library (db) reaching for Qt Widgets: it links Qt Core and Qt Sql only.
#include "db/transaction.h"

#include <QWidget>

int tarnlowLayerCoreIncludesQtWidgets() {
    return 0;
}
