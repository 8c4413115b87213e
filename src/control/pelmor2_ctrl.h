// The second control: the first one plus read-only image information, frame and page selection,
// saving, opening at an index, scrolling and a compression ratio; a BackColor change decodes the
// current frame again against the new colour. The palette methods only pass the message on.
#pragma once

#include <cstdint>
#include <string>

#include "control/pelmor_ctrl.h"

namespace pelmor {

class CPelmor2Ctrl : public CPelmorCtrl {
 public:
  CPelmor2Ctrl();
  // Stops a worker before anything of this class goes.
  ~CPelmor2Ctrl() override;

  const char* GetRuntimeClassName() const override { return "CPelmor2Ctrl"; }
  ole::GUID GetClassID() const override;
  uint32_t GetUserTypeNameID() const override;
  std::vector<ole::GUID> GetPropPageIDs() const override;
  const ole::DispatchTable& GetDispatchTable() const override;
  static const ole::MessageMap messageMap;
  const ole::MessageMap* GetMessageMap() const override { return &messageMap; }

  // The first control's block and Scrolling.
  void Serialize(ole::Archive& ar) override;

  bool OnQueryNewPalette() override;
  void OnPaletteChanged(int32_t window) override;

  // Read-only properties (under `lock`).
  uint32_t GetImageWidth();
  uint32_t GetImageHeight();
  uint32_t GetNImages();
  uint32_t GetDelayTime();
  std::string GetDocumentName();
  std::string GetImageDescription();
  std::string GetImageCopyright();
  std::string GetSoftware();
  bool GetSupportsAnimation();
  // CurrentImage reads the document's index as it is stored (4294967295 before any open).
  uint32_t GetCurrentImage();
  void SetCurrentImage(uint32_t index);
  void SetScrolling(int32_t value);
  float GetCompressionRatio();
  void SetCompressionRatio(float ratio);

  bool ShowImageN(uint32_t index);
  bool Save(const std::string& fileName);
  bool OpenImage(const std::string& fileName, uint32_t index);

  // --- Scrolling and input (host thread) ---
  // Moves a bar (SB_HORZ or SB_VERT) as a scroll request code asks (count lines for the line
  // codes) and repaints; nothing when the bar cannot be read.
  void ScrollBar(int bar, int code, int32_t count);
  // Scroll messages: the bar moves only while Scrolling is on; the message then goes on to the
  // default processing.
  void OnHScroll(int code);
  void OnVScroll(int code);
  // Page Up/Down, Home and End move the vertical bar, the arrows a line either way, only while
  // Scrolling is on; the key then goes on to the default processing.
  void OnKeyDown(uint32_t key);
  // The wheel moves the vertical bar whatever Scrolling says (its range is empty unless scrolling
  // set one): a notch up or down once a whole one has collected. Always true.
  bool OnMouseWheel(int16_t delta);

 protected:
  void OnBackColorChanged() override;
};

}  // namespace pelmor
