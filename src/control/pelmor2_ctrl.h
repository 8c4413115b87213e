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

 protected:
  void OnBackColorChanged() override;
};

}  // namespace pelmor
