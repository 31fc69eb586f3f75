#include "app/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitVelomireResources() {
    Q_INIT_RESOURCE(velomire);
}

namespace velomire::app {

void InitResources() {
    InitVelomireResources();
}

} // namespace velomire::app
