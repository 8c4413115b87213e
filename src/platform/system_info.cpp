#include "platform/system_info.h"

namespace pelmor::platform {

bool HalftoneStretchAvailable() { return true; }

}  // namespace pelmor::platform
