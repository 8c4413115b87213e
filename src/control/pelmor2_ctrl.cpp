#include "control/pelmor2_ctrl.h"

#include <algorithm>

#include "control/dispatch_tables.h"
#include "control/pelmor_ids.h"
#include "display/scroll_steps.h"

namespace pelmor {

using namespace platform;

namespace {

LRESULT HandleCreate(ole::COleControl& self, const Message& m) {
  const auto* create = reinterpret_cast<const CREATESTRUCT*>(m.lParam);
  return create != nullptr ? static_cast<CPelmor2Ctrl&>(self).OnCreate(*create) : -1;
}

LRESULT HandleHScroll(ole::COleControl& self, const Message& m) {
  static_cast<CPelmor2Ctrl&>(self).OnHScroll(LOWORD(m.wParam));
  return 0;
}

LRESULT HandleVScroll(ole::COleControl& self, const Message& m) {
  static_cast<CPelmor2Ctrl&>(self).OnVScroll(LOWORD(m.wParam));
  return 0;
}

LRESULT HandleKeyDown(ole::COleControl& self, const Message& m) {
  static_cast<CPelmor2Ctrl&>(self).OnKeyDown(static_cast<uint32_t>(m.wParam));
  return 0;
}

LRESULT HandleMouseWheel(ole::COleControl& self, const Message& m) {
  return static_cast<CPelmor2Ctrl&>(self).OnMouseWheel(GET_WHEEL_DELTA_WPARAM(m.wParam)) ? 1 : 0;
}

constexpr ole::MessageMapEntry kEntries[] = {
    {WM_CREATE, HandleCreate},     {WM_HSCROLL, HandleHScroll},         {WM_VSCROLL, HandleVScroll},
    {WM_KEYDOWN, HandleKeyDown},   {WM_MOUSEWHEEL, HandleMouseWheel},
};

// Virtual-key codes of the keys that scroll.
constexpr uint32_t VK_PRIOR = 0x21;
constexpr uint32_t VK_NEXT = 0x22;
constexpr uint32_t VK_END = 0x23;
constexpr uint32_t VK_HOME = 0x24;
constexpr uint32_t VK_LEFT = 0x25;
constexpr uint32_t VK_UP = 0x26;
constexpr uint32_t VK_RIGHT = 0x27;
constexpr uint32_t VK_DOWN = 0x28;

// Reads everything a bar holds; false when it cannot be read.
bool ReadBar(const WindowModel* window, int bar, BarValues& out) {
  SCROLLINFO info;
  info.fMask = SIF_ALL;
  if (window == nullptr || !window->GetScrollInfo(bar, info)) return false;
  out = {info.nMin, info.nMax, info.nPage, info.nPos, info.nTrackPos};
  return true;
}

// Sets the position alone (the bar clamps it).
void SetBarPos(WindowModel* window, int bar, int32_t pos) {
  SCROLLINFO info;
  info.fMask = SIF_POS;
  info.nPos = pos;
  window->SetScrollInfo(bar, info, true);
}

// Sets back everything that was read, with a new position.
void SetBarAll(WindowModel* window, int bar, const BarValues& values, int32_t pos) {
  SCROLLINFO info;
  info.fMask = SIF_ALL;
  info.nMin = values.min;
  info.nMax = values.max;
  info.nPage = values.page;
  info.nPos = pos;
  info.nTrackPos = values.trackPos;
  window->SetScrollInfo(bar, info, true);
}

}  // namespace

const ole::MessageMap CPelmor2Ctrl::messageMap{&CPelmorCtrl::messageMap, kEntries,
                                               std::size(kEntries)};

CPelmor2Ctrl::CPelmor2Ctrl() {
  InitializeIIDs(&DIID_DPelmor2, &DIID_DPelmor2Events);
  scrolling = 0;
}

CPelmor2Ctrl::~CPelmor2Ctrl() { StopAnimation(); }

void CPelmor2Ctrl::Serialize(ole::Archive& ar) {
  COleControl::Serialize(ar);
  SerializeState(ar, true);
}

ole::GUID CPelmor2Ctrl::GetClassID() const { return CLSID_Pelmor2Ctrl; }
uint32_t CPelmor2Ctrl::GetUserTypeNameID() const { return IDS_PELMOR2; }
std::vector<ole::GUID> CPelmor2Ctrl::GetPropPageIDs() const {
  return {CLSID_Pelmor2PropPage, CLSID_StockFontPage, CLSID_StockColorPage};
}
const ole::DispatchTable& CPelmor2Ctrl::GetDispatchTable() const { return Pelmor2DispatchTable(); }

bool CPelmor2Ctrl::OnQueryNewPalette() { return Default() != 0; }

void CPelmor2Ctrl::OnPaletteChanged(int32_t) { Default(); }

uint32_t CPelmor2Ctrl::GetImageWidth() {
  std::lock_guard<std::mutex> hold(lock);
  return static_cast<uint32_t>(doc.width);
}

uint32_t CPelmor2Ctrl::GetImageHeight() {
  std::lock_guard<std::mutex> hold(lock);
  return static_cast<uint32_t>(doc.height);
}

uint32_t CPelmor2Ctrl::GetNImages() {
  std::lock_guard<std::mutex> hold(lock);
  return static_cast<uint32_t>(std::max(doc.imageCount, 0));
}

uint32_t CPelmor2Ctrl::GetDelayTime() {
  std::lock_guard<std::mutex> hold(lock);
  return static_cast<uint32_t>(std::max(doc.delayTime, 0));
}

std::string CPelmor2Ctrl::GetDocumentName() {
  std::lock_guard<std::mutex> hold(lock);
  return doc.documentName.value_or("");
}

std::string CPelmor2Ctrl::GetImageDescription() {
  std::lock_guard<std::mutex> hold(lock);
  return doc.imageDescription.value_or("");
}

std::string CPelmor2Ctrl::GetImageCopyright() {
  std::lock_guard<std::mutex> hold(lock);
  return doc.imageCopyright.value_or("");
}

std::string CPelmor2Ctrl::GetSoftware() {
  std::lock_guard<std::mutex> hold(lock);
  return doc.software.value_or("");
}

bool CPelmor2Ctrl::GetSupportsAnimation() {
  std::lock_guard<std::mutex> hold(lock);
  return doc.CurrentCodecId() == CodecId::kGif && doc.imageCount > 1;
}

uint32_t CPelmor2Ctrl::GetCurrentImage() {
  std::lock_guard<std::mutex> hold(lock);
  return static_cast<uint32_t>(doc.currentImage);
}

void CPelmor2Ctrl::SetCurrentImage(uint32_t index) {
  {
    std::lock_guard<std::mutex> hold(lock);
    if (animating) return;
    ShowDocumentImage(static_cast<int32_t>(index));
  }
  InvalidateControl(nullptr, false);
}

void CPelmor2Ctrl::SetScrolling(int32_t value) {
  {
    std::lock_guard<std::mutex> hold(lock);  // the worker reads it while it paints
    scrolling = value;
  }
  if (value == 0) ResetScrollBars();
  UpdateLayout();
  InvalidateControl(nullptr, false);
  SetModifiedFlag();
}

float CPelmor2Ctrl::GetCompressionRatio() {
  std::lock_guard<std::mutex> hold(lock);
  return doc.compressionRatio;
}

void CPelmor2Ctrl::SetCompressionRatio(float ratio) {
  {
    std::lock_guard<std::mutex> hold(lock);
    doc.compressionRatio = ratio;
  }
  SetModifiedFlag();
}

bool CPelmor2Ctrl::ShowImageN(uint32_t index) {
  bool result = false;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (animating) return false;
    result = ShowDocumentImage(static_cast<int32_t>(index));
  }
  InvalidateControl(nullptr, false);
  return result;
}

bool CPelmor2Ctrl::Save(const std::string& fileName) {
  std::lock_guard<std::mutex> hold(lock);
  try {
    return doc.Save(fileName.c_str());
  } catch (...) {
    return false;  // a writer that runs out of memory has written nothing usable
  }
}

bool CPelmor2Ctrl::OpenImage(const std::string& fileName, uint32_t index) {
  StopAnimation();
  filePath = fileName;
  LoadFile(filePath, static_cast<int32_t>(index));
  InvalidateControl(nullptr, false);
  return true;
}

void CPelmor2Ctrl::OnBackColorChanged() {
  CPelmorCtrl::OnBackColorChanged();
  // The worker goes first: it may be changing the frame that is read here.
  StopAnimation();
  int32_t current = 0;
  {
    std::lock_guard<std::mutex> hold(lock);
    current = doc.currentImage;
  }
  LoadFile(filePath, current);
  InvalidateControl(nullptr, false);
}

void CPelmor2Ctrl::ScrollBar(int bar, int code, int32_t count) {
  WindowModel* window = GetWindow();
  BarValues values;
  if (!ReadBar(window, bar, values)) return;
  SetBarPos(window, bar, ScrollTarget(values, code, count));
  InvalidateControl(nullptr, false);
}

void CPelmor2Ctrl::OnHScroll(int code) {
  if (scrolling != 0) ScrollBar(SB_HORZ, code, 1);
  Default();
}

void CPelmor2Ctrl::OnVScroll(int code) {
  if (scrolling != 0) ScrollBar(SB_VERT, code, 1);
  Default();
}

void CPelmor2Ctrl::OnKeyDown(uint32_t key) {
  if (scrolling != 0) {
    WindowModel* window = GetWindow();
    BarValues v;
    switch (key) {
      case VK_PRIOR:
        if (!ReadBar(window, SB_VERT, v)) break;
        SetBarPos(window, SB_VERT, PageUpTarget(v));
        InvalidateControl(nullptr, false);
        break;
      case VK_NEXT:
        if (!ReadBar(window, SB_VERT, v)) break;
        SetBarPos(window, SB_VERT, PageDownTarget(v));
        InvalidateControl(nullptr, false);
        break;
      case VK_END:
        // One short of the maximum: with a page of two or more the bar clamps it to the bottom.
        if (!ReadBar(window, SB_VERT, v)) break;
        SetBarAll(window, SB_VERT, v, v.max > 0 ? v.max - 1 : 0);
        InvalidateControl(nullptr, false);
        break;
      case VK_HOME:
        if (!ReadBar(window, SB_VERT, v)) break;
        SetBarAll(window, SB_VERT, v, v.min);
        InvalidateControl(nullptr, false);
        break;
      case VK_LEFT:
        ScrollBar(SB_HORZ, kLineUp, 1);
        break;
      case VK_UP:
        ScrollBar(SB_VERT, kLineUp, 1);
        break;
      case VK_RIGHT:
        ScrollBar(SB_HORZ, kLineDown, 1);
        break;
      case VK_DOWN:
        ScrollBar(SB_VERT, kLineDown, 1);
        break;
      default:
        break;
    }
  }
  Default();
}

bool CPelmor2Ctrl::OnMouseWheel(int16_t delta) {
  const WheelNotch notch = CollectWheel(wheelDelta, delta);
  if (notch == WheelNotch::kNone) return true;
  WindowModel* window = GetWindow();
  if (notch == WheelNotch::kDown && wheelLines != -1) {
    ScrollBar(SB_VERT, kLineDown, wheelLines);
    return true;
  }
  BarValues v;
  if (!ReadBar(window, SB_VERT, v)) return true;
  int32_t pos = 0;
  if (notch == WheelNotch::kUp) {
    pos = wheelLines == -1 ? PageUpTarget(v) : ScrollTarget(v, kLineUp, wheelLines);
  } else {
    pos = PageDownTarget(v);
  }
  SetBarPos(window, SB_VERT, pos);
  InvalidateControl(nullptr, false);
  return true;
}

}  // namespace pelmor
