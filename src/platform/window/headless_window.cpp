#include "platform/window/headless_window.h"

namespace pelmor::platform {

void HeadlessWindowHost::Present(const RECT& rect) {
  presents_.fetch_add(1);
  if (onPresent) onPresent(rect);
}

}  // namespace pelmor::platform
