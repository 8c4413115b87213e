#include "platform/window/headless_window.h"

namespace pelmor::platform {

void HeadlessWindowHost::Present(const RECT&) { presents_.fetch_add(1); }

}  // namespace pelmor::platform
