// The plug-in as the simulation core sees it: a table of its sixteen entry
// points. Who fills the table (a library opened by path, an emulated DLL, a
// module linked in, calls into another WebAssembly module) is not the core's
// concern.
#ifndef ATSHOST_PLUGIN_API_H
#define ATSHOST_PLUGIN_API_H

#include "plugin/atsplugin.h"

namespace atshost {

// The entry points as the host calls them: records by value, and on 32-bit
// Windows the __stdcall convention that ATS_CALL names.
struct PluginApi {
#define ATS_API_SLOT(name, ret, params, args, bytes, decoration) ret(ATS_CALL* name) params;
  ATS_ENTRY_POINTS(ATS_API_SLOT)
#undef ATS_API_SLOT
};

}  // namespace atshost

#endif  // ATSHOST_PLUGIN_API_H
