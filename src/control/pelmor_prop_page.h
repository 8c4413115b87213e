// The controls' own property pages: CPelmorPropPage edits FileName, HAlignment, VAlignment,
// StretchImage and SlideShow of the first control; CPelmor2PropPage adds Scrolling for the second.
// The "..." button browses for the file with the file-open dialog.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ole/property_page.h"

namespace pelmor {

// Item ids of the pages.
constexpr int32_t IDC_FILENAME = 201;
constexpr int32_t IDC_BROWSE = 202;
constexpr int32_t IDC_HALIGN = 203;
constexpr int32_t IDC_VALIGN = 204;
constexpr int32_t IDC_STRETCH = 205;
constexpr int32_t IDC_SLIDESHOW = 209;
constexpr int32_t IDC_SCROLLING = 212;

// The longest file name handed to the file-open dialog, in bytes (the rest is cut, never inside a
// UTF-8 character).
constexpr size_t kBrowseNameLimit = 260;

// The dialog templates of the two pages (200 and 107) and their tab caption ("General").
const platform::DialogTemplate& PelmorPageTemplate();
const platform::DialogTemplate& Pelmor2PageTemplate();
const char* PropPageCaption();

// The request the "..." button makes of the file-open dialog for a current edit text.
platform::OpenFileRequest BrowseRequest(const std::string& currentText);

class CPelmorPropPage : public ole::COlePropertyPage {
 public:
  CPelmorPropPage();

  void OnCommand(platform::DialogWindow& dialog, int32_t id, uint32_t code) override;
  // The "..." button: the edit text (cut to kBrowseNameLimit) into the file-open dialog; a chosen
  // path becomes the edit text, which counts as the user's change.
  void BrowseForFile();

  // Fields, in order.
  std::string fileName;
  int32_t hAlignIndex = -1;
  int32_t vAlignIndex = -1;
  int32_t stretchCheck = 0;
  int32_t slideShowCheck = 0;

 protected:
  explicit CPelmorPropPage(const platform::DialogTemplate& dialog);
  void DoDataExchange(ole::PropExchange& dx) override;
};

class CPelmor2PropPage : public CPelmorPropPage {
 public:
  CPelmor2PropPage();
  int32_t scrollingCheck = 0;

 protected:
  void DoDataExchange(ole::PropExchange& dx) override;
};

}  // namespace pelmor
