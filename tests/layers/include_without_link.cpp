// The database layer including a header of the update library, which it does not link.
#include "db/transaction.h"

#include "update/package_reader.h"

int tarnlowLayerIncludeWithoutLink() {
    return 0;
}
