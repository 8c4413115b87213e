#include "platform/system_info.h"

#include <cstdlib>
#include <cstring>

namespace pelmor::platform {

bool HalftoneStretchAvailable() {
  const char* setting = std::getenv("PELMOR_HALFTONE");
  return setting == nullptr || std::strcmp(setting, "0") != 0;
}

}  // namespace pelmor::platform
