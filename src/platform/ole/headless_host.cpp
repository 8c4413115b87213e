#include "platform/ole/headless_host.h"

namespace pelmor::ole {

bool HeadlessHost::RequestControlSize(int32_t width, int32_t height) {
  const bool granted = allowResize && width >= 0 && height >= 0 && width <= maxSide &&
                       height <= maxSide;
  sizeRequests.push_back({width, height, granted});
  if (granted) Window().SetSize(width, height);
  return granted;
}

bool HeadlessHost::Embed(COleControl& control, int32_t width, int32_t height) {
  control.SetClientSite(this);
  control.InitNew();
  return control.CreateControlWindow(Window(), width, height);
}

}  // namespace pelmor::ole
