#pragma once
// The set-up of kavReadyAPI: host libraries, option definitions, banner, print file, work
// space and the options as SPECS lines. Errors are raised, not printed.

#include "link/link_context.hpp"

namespace kavro::link {

void readyApi(LinkContext& ctx, qmoHandle_t model);

// Opens the print file on unit 14 (replacing an old one) and makes a fresh optimizer whose
// parameters are all reset. When the file cannot be opened the print unit is 0 and, if
// warnOnFailure, a warning is logged.
void initialiseOptimizer(LinkContext& ctx, bool warnOnFailure);

}  // namespace kavro::link
