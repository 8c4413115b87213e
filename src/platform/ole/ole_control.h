// The control framework's base class: what every control gets without writing it. Stock
// properties (Caption, Font, ForeColor, BackColor, Enabled, BorderStyle) with their change
// notifications; ambient properties from the container's site; the window the control lives in
// and the routing of its messages through per-class message maps; InvalidateControl,
// SetModifiedFlag, SetControlSize; colour translation; and the identity a container asks for.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_context.h"
#include "platform/ole/control_site.h"
#include "platform/ole/dispatch.h"
#include "platform/ole/framework_props.h"
#include "platform/ole/guid.h"
#include "platform/ole/ole_color.h"
#include "platform/ole/ole_font.h"
#include "platform/window/window_model.h"

namespace pelmor::ole {

class COleControl;
class COlePropertyPage;

// Message maps: each class lists the messages it handles and names its base class's map; a
// message goes to the first entry found from the most derived map down, and otherwise to the
// window's default processing.
using MessageHandler = platform::LRESULT (*)(COleControl& self, const platform::Message& message);
struct MessageMapEntry {
  uint32_t message;
  MessageHandler handler;
};
struct MessageMap {
  const MessageMap* base;
  const MessageMapEntry* entries;
  size_t count;
};

// Sizes in pixels and in HIMETRIC units (0.01 mm) at 96 pixels per inch, rounded to nearest.
int32_t HimetricFromPixels(int32_t pixels);
int32_t PixelsFromHimetric(int32_t himetric);

class COleControl : public DispatchObject,
                    public platform::MessageTarget,
                    private FontChangeSink {
 public:
  COleControl();
  ~COleControl() override;
  COleControl(const COleControl&) = delete;
  COleControl& operator=(const COleControl&) = delete;

  // --- The container ---
  void SetClientSite(ControlSite* site) { site_ = site; }
  ControlSite* GetClientSite() const { return site_; }
  // A new instance (as opposed to one loaded from saved state): OnResetState.
  void InitNew() { OnResetState(); }
  // Stock properties back to the framework's defaults, taken from the ambient properties.
  virtual void OnResetState();
  void ResetStockProps();

  // --- Saved state (docs/persistence.md) ---
  // Appends the state to a stream through Serialize.
  HRESULT SaveToStream(std::vector<uint8_t>& out);
  // Loads state from a stream through Serialize: S_OK, or the code of the archive error that
  // stopped the load (ArchiveErrorCode); what was read before that point stays loaded.
  HRESULT LoadFromStream(const uint8_t* data, size_t size);
  // The framework's values (no control's own) to and from a property bag, through DoPropExchange.
  HRESULT SaveToBag(PropertyBag& bag);
  HRESULT LoadFromBag(const PropertyBag& bag);
  // The framework's block: DoPropExchange over the archive, then, when loading, a repaint. A
  // control's override calls this first and adds its own values.
  virtual void Serialize(Archive& ar);
  // The extent and the stock properties; a control's override exchanges its version first. A
  // load takes them all or none: each value is checked as its setter would check it (bad format
  // otherwise), then they are stored without change notifications and the extent is asked of the
  // container.
  virtual void DoPropExchange(PropertyExchange& px);

  // --- The window ---
  // Creates the control's window in the host's window, width x height pixels (outer size). The
  // styles come from PreCreateWindow; OnCreate and OnSize run from inside.
  bool CreateControlWindow(platform::WindowModel& window, int32_t width, int32_t height);
  // The window, or null before creation and after the control closed.
  platform::WindowModel* GetWindow() const { return window_; }
  // The window's identifier (0 without a window).
  uint32_t GetHwnd() const { return window_ != nullptr ? window_->Handle() : 0; }
  // The container closes the control: OnClose.
  void Close() { OnClose(); }
  // Delivers a message through the message maps.
  platform::LRESULT WindowProc(const platform::Message& message) override;
  // Sends a message to the control as its window would.
  platform::LRESULT SendMessage(uint32_t message, platform::WPARAM wParam = 0,
                                platform::LPARAM lParam = 0) {
    return WindowProc({message, wParam, lParam});
  }
  // Paints whatever is invalid now (WM_PAINT through the window).
  void UpdateWindow();

  // --- Framework services ---
  void InvalidateControl(const platform::RECT* rect = nullptr, bool erase = true);
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }
  bool IsModified() const { return modified_; }
  // Asks the container for a new size (outer, in pixels); true when it was granted.
  bool SetControlSize(int32_t width, int32_t height);
  // The control's size in pixels (its window's outer size once it has one).
  void GetControlSize(int32_t* width, int32_t* height) const;
  // An OLE colour as a colour reference; black for a colour that cannot be translated. The
  // palette is not used (controls here always pass none).
  COLORREF TranslateColor(OLE_COLOR color, platform::HPALETTE palette = nullptr) const;
  OLE_COLOR AmbientBackColor() const;
  OLE_COLOR AmbientForeColor() const;
  FontDesc AmbientFont() const;
  bool AmbientUserMode() const;
  // The clock the container runs the control's time by (the real one without a container).
  platform::Clock& GetClock() const;
  // Selects the stock font into dc; returns the font that was selected before.
  platform::HFONT SelectStockFont(platform::HDC dc);
  const std::string& InternalGetText() const { return caption_; }
  // Hands the message being processed (the last one delivered) to the default processing.
  platform::LRESULT Default();

  // --- Stock properties (setters raise 0x800A017C for invalid values and 0x800A0183 when the
  // container forbids a request-edit change) ---
  const std::string& GetCaption() const { return caption_; }  // narrow encoding
  void SetCaption(const std::string& caption);
  COleFont& GetFont() { return *font_; }
  const std::shared_ptr<COleFont>& GetFontObject() const { return font_; }
  void SetFont(const FontDesc& desc);
  // The colours may be read from another thread (a worker painting); reads and writes are atomic.
  OLE_COLOR GetForeColor() const { return foreColor_.load(std::memory_order_relaxed); }
  void SetForeColor(OLE_COLOR color);
  OLE_COLOR GetBackColor() const { return backColor_.load(std::memory_order_relaxed); }
  void SetBackColor(OLE_COLOR color);
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  int16_t GetBorderStyle() const { return borderStyle_; }
  void SetBorderStyle(int16_t style);

  // --- Identity ---
  virtual const char* GetRuntimeClassName() const = 0;
  virtual GUID GetClassID() const = 0;
  virtual uint32_t GetUserTypeNameID() const = 0;
  virtual uint32_t GetMiscStatus() const { return 0; }
  virtual std::vector<GUID> GetPropPageIDs() const { return {}; }
  virtual uint32_t GetTypeInfoCount() const { return 1; }
  // The dispatch and event interfaces the control answers for.
  void InitializeIIDs(const GUID* dispatch, const GUID* events) {
    dispatchIID_ = dispatch;
    eventsIID_ = events;
  }
  const GUID* GetDispatchIID() const { return dispatchIID_; }
  const GUID* GetEventsIID() const { return eventsIID_; }

  // The stock AboutBox method: a control with an About box runs it through its site.
  virtual void AboutBox() {}
  // The Properties verb: a property frame with the pages GetPropPageIDs names, editing this
  // control, run by the site. False when there is no site or it cannot show the frame.
  bool OnProperties();
  // A new page for a class identifier from GetPropPageIDs: the framework makes its stock font
  // and colour pages; a control adds its own. Null for a class it does not know.
  virtual std::unique_ptr<COlePropertyPage> CreatePropertyPage(const GUID& clsid) const;
  // The property frame's caption.
  virtual std::string PropertyFrameCaption() const { return "Properties"; }

  static const MessageMap messageMap;
  virtual const MessageMap* GetMessageMap() const { return &messageMap; }

  // Paints the control into dc: bounds is the area to fill (the client rectangle), invalid the
  // part that needs it.
  virtual void OnDraw(platform::HDC dc, const platform::RECT& bounds, const platform::RECT& invalid);

  // The framework's own handling of messages (reached through the message maps); a derived
  // class's handler calls these first.
  int OnCreate(const platform::CREATESTRUCT& create);
  void OnSize(uint32_t type, int32_t width, int32_t height);
  void OnSettingChange();
  void OnPaint();
  void OnDestroy();

 protected:
  // Adds the control's window styles.
  virtual void PreCreateWindow(uint32_t& style);
  // The container closes the control; the window goes.
  virtual void OnClose();

  // Change notifications of the stock properties: each repaints with erase.
  virtual void OnBackColorChanged() { InvalidateControl(); }
  virtual void OnForeColorChanged() { InvalidateControl(); }
  virtual void OnTextChanged() { InvalidateControl(); }
  virtual void OnFontChanged() { InvalidateControl(); }
  virtual void OnEnabledChanged() { InvalidateControl(); }
  virtual void OnBorderStyleChanged() { InvalidateControl(); }

  // Ends the window (no more messages reach the control).
  void DestroyControlWindow();

 private:
  void OnFontObjectChanged() override;
  // The values DoPropExchange saves, their defaults, and storing loaded ones.
  FrameworkProps CurrentFrameworkProps() const;
  FrameworkProps DefaultFrameworkProps() const;
  void StoreFrameworkProps(const FrameworkProps& props);
  void RequestEdit(DISPID id);
  void Changed(DISPID id);

  ControlSite* site_ = nullptr;
  platform::WindowModel* window_ = nullptr;
  platform::Message lastMessage_;
  bool modified_ = false;
  int32_t extentWidth_ = 100;
  int32_t extentHeight_ = 50;
  const GUID* dispatchIID_ = nullptr;
  const GUID* eventsIID_ = nullptr;

  std::string caption_;
  std::shared_ptr<COleFont> font_;
  std::atomic<OLE_COLOR> foreColor_{SystemColor(COLOR_WINDOWTEXT)};
  std::atomic<OLE_COLOR> backColor_{SystemColor(COLOR_WINDOW)};
  bool enabled_ = true;
  int16_t borderStyle_ = 0;
};

// The stock members as dispatch accessors, for the controls' tables.
namespace stock {
HRESULT GetCaption(DispatchObject& self, Variant& value);
HRESULT PutCaption(DispatchObject& self, const Variant& value);
HRESULT GetFont(DispatchObject& self, Variant& value);
HRESULT PutFont(DispatchObject& self, const Variant& value);
HRESULT GetForeColor(DispatchObject& self, Variant& value);
HRESULT PutForeColor(DispatchObject& self, const Variant& value);
HRESULT GetEnabled(DispatchObject& self, Variant& value);
HRESULT PutEnabled(DispatchObject& self, const Variant& value);
HRESULT GetBackColor(DispatchObject& self, Variant& value);
HRESULT PutBackColor(DispatchObject& self, const Variant& value);
HRESULT GetBorderStyle(DispatchObject& self, Variant& value);
HRESULT PutBorderStyle(DispatchObject& self, const Variant& value);
HRESULT AboutBox(DispatchObject& self, const Variant* args, Variant& result);
}  // namespace stock

}  // namespace pelmor::ole
