// Questions about the system the drawing layer runs on.
#pragma once

namespace pelmor::platform {

// Whether stretching with the halftone mode averages pixels: true for our software drawing, unless
// the environment variable PELMOR_HALFTONE is 0 (to exercise the document's own down-scale).
bool HalftoneStretchAvailable();

}  // namespace pelmor::platform
