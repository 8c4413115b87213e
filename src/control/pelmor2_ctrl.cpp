#include "control/pelmor2_ctrl.h"

#include <algorithm>

#include "control/dispatch_tables.h"
#include "control/pelmor_ids.h"

namespace pelmor {

using namespace platform;

namespace {

LRESULT HandleCreate(ole::COleControl& self, const Message& m) {
  const auto* create = reinterpret_cast<const CREATESTRUCT*>(m.lParam);
  return create != nullptr ? static_cast<CPelmor2Ctrl&>(self).OnCreate(*create) : -1;
}

constexpr ole::MessageMapEntry kEntries[] = {
    {WM_CREATE, HandleCreate},
};

}  // namespace

const ole::MessageMap CPelmor2Ctrl::messageMap{&CPelmorCtrl::messageMap, kEntries,
                                               std::size(kEntries)};

CPelmor2Ctrl::CPelmor2Ctrl() {
  InitializeIIDs(&DIID_DPelmor2, &DIID_DPelmor2Events);
  scrolling = 0;
}

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

}  // namespace pelmor
