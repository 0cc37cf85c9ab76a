// NAME-check.html: what `atshost check` found, for a route author: the
// verdict, the table by limit beacon, every trip and station not stopped at
// in the window, and a chart of speed over distance with every careful
// driver's curve, the limits, the stations and the trips.
#ifndef ATSHOST_OUTPUT_CHECK_PAGE_H
#define ATSHOST_OUTPUT_CHECK_PAGE_H

#include <ostream>
#include <string>

#include "host/check.h"

namespace atshost {

void WriteCheckPage(std::ostream& out, const std::string& title, const Route& route,
                    const CheckResult& result);

}  // namespace atshost

#endif  // ATSHOST_OUTPUT_CHECK_PAGE_H
