// The table of a plug-in linked into the same program: the driving page's
// module and the tests that run the core over the plug-in's own functions.
#ifndef ATSHOST_SIM_LINKED_PLUGIN_H
#define ATSHOST_SIM_LINKED_PLUGIN_H

#include "host/sim/plugin_api.h"

namespace atshost {

#define ATS_LINKED_SLOT(name, ret, params, args, bytes, decoration) ats##name,
inline constexpr PluginApi kLinkedPlugin = {ATS_ENTRY_POINTS(ATS_LINKED_SLOT)};
#undef ATS_LINKED_SLOT

}  // namespace atshost

#endif  // ATSHOST_SIM_LINKED_PLUGIN_H
