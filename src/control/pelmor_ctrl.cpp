#include "control/pelmor_ctrl.h"

#include <functional>
#include <system_error>

#include "control/about_dlg.h"
#include "control/dispatch_tables.h"
#include "control/pelmor_prop_page.h"
#include "control/pelmor_ids.h"
#include "display/content_paint.h"
#include "display/frame_player.h"

namespace pelmor {

using namespace platform;
using ole::COleControl;

namespace {

LRESULT HandleCreate(COleControl& self, const Message& m) {
  const auto* create = reinterpret_cast<const CREATESTRUCT*>(m.lParam);
  return create != nullptr ? static_cast<CPelmorCtrl&>(self).OnCreate(*create) : -1;
}

LRESULT HandleSize(COleControl& self, const Message& m) {
  static_cast<CPelmorCtrl&>(self).OnSize(static_cast<uint32_t>(m.wParam),
                                         LOWORD(static_cast<uintptr_t>(m.lParam)),
                                         HIWORD(static_cast<uintptr_t>(m.lParam)));
  return 0;
}

LRESULT HandleSettingChange(COleControl& self, const Message&) {
  static_cast<CPelmorCtrl&>(self).OnSettingChange();
  return 0;
}

LRESULT HandleDestroy(COleControl& self, const Message&) {
  static_cast<CPelmorCtrl&>(self).OnDestroy();
  return 0;
}

constexpr ole::MessageMapEntry kEntries[] = {
    {WM_CREATE, HandleCreate},
    {WM_SIZE, HandleSize},
    {WM_SETTINGCHANGE, HandleSettingChange},
    {WM_DESTROY, HandleDestroy},
};

// The worker's view of its control: the stop flag and the frame delay under the control's lock.
class ControlFrames final : public FrameSequence {
 public:
  explicit ControlFrames(CPelmorCtrl& control) : control_(control) {}
  bool KeepPlaying() override {
    std::lock_guard<std::mutex> hold(control_.lock);
    return control_.animating;
  }
  int32_t FrameDelay() override {
    std::lock_guard<std::mutex> hold(control_.lock);
    return control_.doc.delayTime;
  }
  void ShowNextFrame() override { control_.ShowNextAnimationFrame(); }

 private:
  CPelmorCtrl& control_;
};

}  // namespace

const ole::MessageMap CPelmorCtrl::messageMap{&COleControl::messageMap, kEntries,
                                              std::size(kEntries)};

CPelmorCtrl::CPelmorCtrl() {
  InitializeIIDs(&DIID_DPelmor, &DIID_DPelmorEvents);
  wheelLines = QueryWheelScrollLines();
}

CPelmorCtrl::~CPelmorCtrl() {
  StopAnimation();
  // No message may reach the control while its members go.
  DestroyControlWindow();
}

ole::GUID CPelmorCtrl::GetClassID() const { return CLSID_PelmorCtrl; }
uint32_t CPelmorCtrl::GetUserTypeNameID() const { return IDS_PELMOR; }
uint32_t CPelmorCtrl::GetMiscStatus() const { return kPelmorMiscStatus; }
std::vector<ole::GUID> CPelmorCtrl::GetPropPageIDs() const {
  return {CLSID_PelmorPropPage, CLSID_StockFontPage, CLSID_StockColorPage};
}
const ole::DispatchTable& CPelmorCtrl::GetDispatchTable() const { return PelmorDispatchTable(); }

std::unique_ptr<ole::COlePropertyPage> CPelmorCtrl::CreatePropertyPage(const ole::GUID& clsid) const {
  if (clsid == CLSID_PelmorPropPage) return std::make_unique<CPelmorPropPage>();
  if (clsid == CLSID_Pelmor2PropPage) return std::make_unique<CPelmor2PropPage>();
  return COleControl::CreatePropertyPage(clsid);
}

std::string CPelmorCtrl::PropertyFrameCaption() const {
  return std::string(LoadModuleString(GetUserTypeNameID())) + " Properties";
}

void CPelmorCtrl::AboutBox() {
  ole::ControlSite* site = GetClientSite();
  if (site == nullptr) return;
  CAboutDlg dialog;
  site->RunModalDialog(CAboutDlg::Template(), dialog);
}

void CPelmorCtrl::PreCreateWindow(uint32_t& style) {
  style |= WS_HSCROLL | WS_VSCROLL;
  COleControl::PreCreateWindow(style);
}

bool CPelmorCtrl::DocumentOpen() const {
  return doc.CurrentCodecId().has_value() && doc.imageCount > 0 && doc.block &&
         doc.header != nullptr && doc.bits != nullptr;
}

void CPelmorCtrl::LoadFile(const std::string& path, int32_t index) {
  StopAnimation();
  wheelDelta = 0;
  ResetScrollBars();
  bool animate = false;
  {
    std::lock_guard<std::mutex> hold(lock);
    doc.backColor = TranslateColor(GetBackColor());
    const bool ok = doc.Open(path.c_str(), index);
    animate = ok && slideShow != 0 && doc.CurrentCodecId() == CodecId::kGif && doc.imageCount > 1;
  }
  if (animate && !StartAnimation()) return;
  UpdateLayout();
}

void CPelmorCtrl::SetFileName(const std::string& path) {
  StopAnimation();
  filePath = path;
  LoadFile(filePath, 0);
  InvalidateControl(nullptr, false);
  SetModifiedFlag();
}

void CPelmorCtrl::SetHAlignment(int16_t value) {
  {
    std::lock_guard<std::mutex> hold(lock);  // the worker reads it while it paints
    hAlignment = value;
  }
  InvalidateControl(nullptr, false);
  SetModifiedFlag();
}

void CPelmorCtrl::SetVAlignment(int16_t value) {
  {
    std::lock_guard<std::mutex> hold(lock);
    vAlignment = value;
  }
  InvalidateControl(nullptr, false);
  SetModifiedFlag();
}

void CPelmorCtrl::SetStretchImage(int32_t value) {
  {
    std::lock_guard<std::mutex> hold(lock);
    stretchImage = value;
  }
  UpdateLayout();
  InvalidateControl(nullptr, false);
  SetModifiedFlag();
}

void CPelmorCtrl::SetSlideShow(int32_t value) {
  if ((value != 0) == (slideShow != 0)) return;
  if (value == 0) {
    StopAnimation();
    slideShow = 0;
    InvalidateControl(nullptr, false);
    SetModifiedFlag();
    return;
  }
  slideShow = value;
  InvalidateControl(nullptr, false);
  bool animate = false;
  {
    std::lock_guard<std::mutex> hold(lock);
    animate = doc.CurrentCodecId() == CodecId::kGif && doc.imageCount > 1;
  }
  if (animate && !StartAnimation()) return;
  SetModifiedFlag();
}

bool CPelmorCtrl::OnQueryNewPalette() {
  InvalidateControl(nullptr, true);
  return true;
}

void CPelmorCtrl::OnPaletteChanged(int32_t window) {
  if (static_cast<uint32_t>(window) != GetHwnd()) InvalidateControl(nullptr, true);
}

bool CPelmorCtrl::IsOpen() {
  std::lock_guard<std::mutex> hold(lock);
  return DocumentOpen();
}

bool CPelmorCtrl::ShowDocumentImage(int32_t index) {
  try {
    return doc.ShowImage(index);
  } catch (...) {
    // A codec that runs out of memory part way leaves nothing usable.
    doc.Clear();
    return false;
  }
}

void CPelmorCtrl::OnDraw(HDC dc, const RECT& bounds, const RECT&) {
  std::lock_guard<std::mutex> hold(lock);
  RECT area = bounds;
  if (WindowModel* window = GetWindow()) {
    RECT client;
    if (window->GetClientRect(&client)) area = client;
  }
  PaintOffscreen(
      dc, bounds, area, [this](HDC memory, const RECT& r) { PaintContent(memory, r); }, &offscreen_);
}

void CPelmorCtrl::PaintContent(HDC dc, const RECT& rect) {
  const COLORREF background = TranslateColor(AmbientBackColor());
  if (DocumentOpen()) {
    DrawImage(dc, rect, &background);
    return;
  }
  FillBackground(dc, rect, background);
  CaptionStyle caption;
  caption.text = InternalGetText();
  caption.font = GetFont().Handle();
  caption.color = TranslateColor(GetForeColor());
  caption.hAlignment = hAlignment;
  caption.vAlignment = vAlignment;
  DrawCaption(dc, rect, caption);
}

int32_t CPelmorCtrl::DrawImage(HDC dc, const RECT& rect, const COLORREF* background, RECT* drawn) {
  doc.backColor = TranslateColor(GetBackColor());
  PlacementRequest request;
  request.bounds = rect;
  request.imageWidth = doc.width;
  request.imageHeight = doc.height;
  request.hAlignment = hAlignment;
  request.vAlignment = vAlignment;
  request.stretchImage = stretchImage != 0;
  request.scrolling = scrolling != 0;
  if (request.scrolling) {
    request.scrollX = ScrollPos(SB_HORZ);
    request.scrollY = ScrollPos(SB_VERT);
  }
  return DrawPlacedImage(doc, dc, request, background, drawn);
}

void CPelmorCtrl::UpdateLayout() {
  if (scrolling != 0) {
    UpdateScrollRanges();
    return;
  }
  if (createdWidth <= 0 || createdHeight <= 0) return;
  bool open = false;
  int32_t width = 0, height = 0;
  {
    std::lock_guard<std::mutex> hold(lock);
    open = DocumentOpen();
    width = doc.width;
    height = doc.height;
  }
  if (open && stretchImage == 0 &&
      (static_cast<uint32_t>(createdWidth) < static_cast<uint32_t>(width) ||
       static_cast<uint32_t>(createdHeight) < static_cast<uint32_t>(height))) {
    SetControlSize(width, height);
    return;
  }
  SetControlSize(createdWidth, createdHeight);
}

void CPelmorCtrl::ResetScrollBars() {
  WindowModel* window = GetWindow();
  if (window == nullptr) return;
  SCROLLINFO info;
  info.fMask = SIF_ALL;
  window->SetScrollInfo(SB_HORZ, info, false);
  window->SetScrollInfo(SB_VERT, info, false);
}

void CPelmorCtrl::UpdateScrollRanges() {
  WindowModel* window = GetWindow();
  if (scrolling == 0 || window == nullptr) return;
  int32_t width = 0, height = 0;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (DocumentOpen()) {
      width = doc.width;
      height = doc.height;
    }
  }
  auto setBar = [window](int bar, int32_t imageSide, int32_t clientSide) {
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    info.nMin = 0;
    info.nMax = imageSide <= clientSide ? 0 : imageSide;
    info.nPage = static_cast<uint32_t>(clientSide);
    window->SetScrollInfo(bar, info, true);
  };
  RECT client{0, 0, 0, 0};
  window->GetClientRect(&client);
  setBar(SB_HORZ, width, client.right - client.left);
  // Showing or hiding the horizontal bar may have changed the client area.
  window->GetClientRect(&client);
  setBar(SB_VERT, height, client.bottom - client.top);
  RECT after{0, 0, 0, 0};
  window->GetClientRect(&after);
  if (after.right != client.right || after.bottom != client.bottom) {
    setBar(SB_HORZ, width, after.right - after.left);
  }
}

int32_t CPelmorCtrl::ScrollPos(int bar) const {
  const WindowModel* window = GetWindow();
  SCROLLINFO info;
  info.fMask = SIF_POS;
  if (window == nullptr || !window->GetScrollInfo(bar, info)) return 0;
  return info.nPos;
}

int32_t CPelmorCtrl::QueryWheelScrollLines() const {
  const WindowModel* window = GetWindow();
  if (window == nullptr) return 3;
  return window->Host()->WheelScrollLines().value_or(3);
}

bool CPelmorCtrl::StartAnimation() {
  // In a designer the first frame stays on screen.
  if (!AmbientUserMode()) return true;
  StopAnimation();  // never two workers (and a thread object still joinable cannot be replaced)
  {
    std::lock_guard<std::mutex> hold(lock);
    animating = true;
  }
  platform::Clock& clock = GetClock();
  try {
    thread = std::thread([this, &clock] { AnimationThread(clock); });
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> hold(lock);
    animating = false;
    return false;
  }
  threadId = static_cast<uint32_t>(std::hash<std::thread::id>{}(thread.get_id()));
  return true;
}

void CPelmorCtrl::StopAnimation() {
  if (!thread.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock);
    animating = false;
  }
  thread.join();  // without `lock`, so that the worker can finish its step
  threadId = 0;
}

void CPelmorCtrl::AnimationThread(platform::Clock& clock) {
  ControlFrames frames(*this);
  PlayFrames(frames, clock);
}

void CPelmorCtrl::ShowNextAnimationFrame() {
  WindowModel* window = nullptr;
  HDC dc = nullptr;
  {
    std::lock_guard<std::mutex> hold(lock);
    // A stop asked for during the last wait leaves the frame that is showing.
    if (!animating) return;
    bool stepped = false;
    try {
      stepped = doc.NextImage();
    } catch (...) {
      doc.Clear();  // memory ran out part way: nothing usable is left
    }
    // After the last frame, or a frame that failed, the file is read again from its first frame
    // (a file that has gone leaves the document empty, and the worker goes on trying).
    if (!stepped) doc.Open(filePath.c_str(), 0);
    window = workerWindow_;
    dc = window != nullptr ? window->GetDC() : nullptr;
    RECT client{0, 0, 0, 0};
    if (dc != nullptr && DocumentOpen() && window->GetClientRect(&client)) {
      // Straight onto the window, without background or off-screen bitmap, where OnDraw puts it.
      RECT drawn{0, 0, 0, 0};
      DrawImage(dc, client, nullptr, &drawn);
      // Only what the frame covered changed on the window.
      if (drawn.left < drawn.right && drawn.top < drawn.bottom) window->Present(drawn);
    }
  }
  if (dc != nullptr) window->ReleaseDC(dc);
}

void CPelmorCtrl::Serialize(ole::Archive& ar) {
  COleControl::Serialize(ar);
  SerializeState(ar, false);
}

void CPelmorCtrl::DoPropExchange(ole::PropertyExchange& px) {
  px.Version(ole::kFrameworkVersion);
  COleControl::DoPropExchange(px);
}

void CPelmorCtrl::SerializeState(ole::Archive& ar, bool withScrolling) {
  if (ar.IsStoring()) {
    ar << filePath << hAlignment << vAlignment << stretchImage << slideShow;
    if (withScrolling) ar << scrolling;
    return;
  }
  StopAnimation();  // the worker reads filePath when it starts a cycle again
  ar >> filePath >> hAlignment >> vAlignment >> stretchImage >> slideShow;
  if (withScrolling) ar >> scrolling;
  if (ar.Remaining() != 0) {
    throw ole::ArchiveException(ole::ArchiveError::kBadFormat, "bytes after the saved state");
  }
  if (!filePath.empty()) LoadFile(filePath, 0);
}

int CPelmorCtrl::OnCreate(const CREATESTRUCT& create) {
  if (COleControl::OnCreate(create) == -1) return -1;
  createdWidth = create.cx;
  createdHeight = create.cy;
  {
    std::lock_guard<std::mutex> hold(lock);
    workerWindow_ = GetWindow();
  }
  // The host's wheel setting can be read once there is a window to ask through.
  wheelLines = QueryWheelScrollLines();
  ResetScrollBars();
  return 0;
}

void CPelmorCtrl::OnSize(uint32_t type, int32_t width, int32_t height) {
  COleControl::OnSize(type, width, height);
  if (type != SIZE_MINIMIZED) UpdateScrollRanges();
}

void CPelmorCtrl::OnSettingChange() {
  wheelLines = QueryWheelScrollLines();
  COleControl::OnSettingChange();
}

void CPelmorCtrl::OnDestroy() {
  {
    std::lock_guard<std::mutex> hold(lock);  // waits for a frame being painted
    workerWindow_ = nullptr;
  }
  COleControl::OnDestroy();
}

void CPelmorCtrl::OnClose() {
  StopAnimation();
  COleControl::OnClose();
}

}  // namespace pelmor
