// Questions about the system the drawing layer runs on.
#pragma once

namespace pelmor::platform {

// Whether stretching with the halftone mode averages pixels (true for our software drawing).
bool HalftoneStretchAvailable();

}  // namespace pelmor::platform
