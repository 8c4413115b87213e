#include "platform/ole/headless_host.h"

#include "platform/ole/property_page.h"

namespace pelmor::ole {

bool HeadlessHost::RequestControlSize(int32_t width, int32_t height) {
  const bool granted = allowResize && width >= 0 && height >= 0 && width <= maxSide &&
                       height <= maxSide;
  sizeRequests.push_back({width, height, granted});
  if (granted) Window().SetSize(width, height);
  return granted;
}

bool HeadlessHost::RunPropertyFrame(PropertyFrame& frame) {
  std::vector<std::string> names{frame.Caption()};
  for (size_t i = 0; i < frame.PageCount(); ++i) names.push_back(frame.Page(i).Caption());
  propertyFrames.push_back(std::move(names));
  return true;
}

bool HeadlessHost::Embed(COleControl& control, int32_t width, int32_t height) {
  control.SetClientSite(this);
  control.InitNew();
  return control.CreateControlWindow(Window(), width, height);
}

}  // namespace pelmor::ole
