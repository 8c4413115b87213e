#include "platform/ole/framework_props.h"

namespace pelmor::ole {

void ExchangeFrameworkProps(PropertyExchange& px, FrameworkProps& props,
                            const FrameworkProps& defaults) {
  px.Int32("_ExtentX", props.extentX, defaults.extentX);
  px.Int32("_ExtentY", props.extentY, defaults.extentY);
  uint32_t stored = kAllStockProps;
  px.UInt32("_StockProps", stored, kAllStockProps);
  // A property left out of the stored set is not in the block at all and takes its default.
  auto present = [&](StockProp p) { return !px.IsLoading() || (stored & p) != 0; };
  const FrameworkProps& d = defaults;
  FrameworkProps& v = props;
  if (present(kStockCaption)) {
    px.Text("Caption", v.caption, d.caption);
  } else {
    v.caption = d.caption;
  }
  if (present(kStockForeColor)) {
    px.Color("ForeColor", v.foreColor, d.foreColor);
  } else {
    v.foreColor = d.foreColor;
  }
  if (present(kStockBackColor)) {
    px.Color("BackColor", v.backColor, d.backColor);
  } else {
    v.backColor = d.backColor;
  }
  if (present(kStockFont)) {
    px.Font("Font", v.font, d.font);
  } else {
    v.font = d.font;
  }
  if (present(kStockBorderStyle)) {
    px.Int16("BorderStyle", v.borderStyle, d.borderStyle);
  } else {
    v.borderStyle = d.borderStyle;
  }
  if (present(kStockEnabled)) {
    px.Bool("Enabled", v.enabled, d.enabled);
  } else {
    v.enabled = d.enabled;
  }
}

}  // namespace pelmor::ole
