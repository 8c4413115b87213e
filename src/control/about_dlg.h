// The About box: the module's icon, its description, version and copyright read from the version
// block in the module's own file, and two links, to the home page and to a mail message. OK
// closes it; nothing in it changes the control.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "control/hyper_link.h"
#include "platform/window/dialog_window.h"

namespace pelmor {

constexpr int32_t IDC_ABOUT_NAME = 206;
constexpr int32_t IDC_ABOUT_VERSION = 207;
constexpr int32_t IDC_ABOUT_COPYRIGHT = 208;
constexpr int32_t IDC_ABOUT_WEB = 210;
constexpr int32_t IDC_ABOUT_MAIL = 211;

// The three lines of the box from a version block: each empty when its value is missing or
// empty; the version line is "Version " and the FileVersion value. All empty without a block or
// a translation.
struct AboutTexts {
  std::string description;
  std::string version;
  std::string copyright;
};
AboutTexts AboutTextsFromBlock(std::span<const uint8_t> block);

class CAboutDlg : public platform::DialogController {
 public:
  // The texts from the version block of the module's file, the links' colours from settings.
  explicit CAboutDlg(const UserSettings& settings = RegistryUserSettings());
  // The texts from a given block (nothing: as for a module without one).
  CAboutDlg(const std::optional<std::vector<uint8_t>>& versionBlock, const UserSettings& settings);

  static const platform::DialogTemplate& Template();
  // The web page and the mail address the links use (the build's by default).
  void SetAddresses(std::string webPage, std::string mailAddress) {
    webPage_ = std::move(webPage);
    mailAddress_ = std::move(mailAddress);
  }

  bool OnInitDialog(platform::DialogWindow& dialog) override;
  const platform::Surface* Icon(std::string_view name) override;

  CHyperLink webLink;
  CHyperLink mailLink;
  std::string description;
  std::string copyright;
  std::string version;

 private:
  std::string webPage_;
  std::string mailAddress_;
};

// The module's icon (number 1), 32 x 32 pixels.
const platform::Surface& ModuleIcon();

}  // namespace pelmor
