#pragma once
// The support library's process-wide objects. The window program defines one
// ProcessServices right after its application object, in the same source file,
// so that static initialisation builds the application object, then the clock,
// then the generator, and exit destroys them in the reverse order.

#include "support/current_second.h"
#include "support/mts_random.h"

namespace RavLib {

struct ProcessServices {
  CCurrentSecond clock;   // declared first: constructed first, destroyed last
  CMTSRandom generator;   // seeded with CMTSRandom::processSeed
};

}  // namespace RavLib
