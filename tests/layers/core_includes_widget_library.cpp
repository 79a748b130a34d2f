// The core host library reaching for a header of its folder's widget library.
#include "host/settings_store.h"

#include "host/f_center.h"

int tarnlowLayerCoreIncludesWidgetLibrary() {
    return 0;
}
