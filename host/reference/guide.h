// The authors' guide: installing the plug-in, wiring a cab to it and placing
// its beacons, printed from the reference tables in Markdown (docs/) or as
// plain text (the release package).
#ifndef ATSHOST_REFERENCE_GUIDE_H
#define ATSHOST_REFERENCE_GUIDE_H

#include <ostream>

namespace atshost::reference {

enum class GuideFormat { kMarkdown, kText };

void WriteGuide(std::ostream& out, GuideFormat format);

}  // namespace atshost::reference

#endif  // ATSHOST_REFERENCE_GUIDE_H
