// Module-level state of the boundary, for the plug-in's own tests and tools.
#ifndef ATSVORLAN800_PLUGIN_MODULE_H
#define ATSVORLAN800_PLUGIN_MODULE_H

#include "plugin/atsplugin.h"
#include "unit/vorlan800.h"

namespace vorlan {

// The one protection unit, or null while not loaded.
CVorlan800* LoadedUnit() noexcept;

// The handle record returned by every frame; lives as long as the process.
const ATS_HANDLES& HandleRecord() noexcept;

}  // namespace vorlan

#endif  // ATSVORLAN800_PLUGIN_MODULE_H
