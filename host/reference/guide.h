// The authors' guide: installing the plug-in, wiring a cab to it and placing
// its beacons, printed from the reference tables in Markdown (docs/) or as
// plain text (the release package), in English or Japanese.
#ifndef ATSHOST_REFERENCE_GUIDE_H
#define ATSHOST_REFERENCE_GUIDE_H

#include <ostream>

#include "host/reference/language.h"

namespace atshost::reference {

enum class GuideFormat { kMarkdown, kText };

void WriteGuide(std::ostream& out, GuideFormat format, Language language);

}  // namespace atshost::reference

#endif  // ATSHOST_REFERENCE_GUIDE_H
