#include "control/version_resource.h"

#include <array>

#include "control/version_block.h"

// The build passes these (src/CMakeLists.txt); the defaults serve a build by hand.
#ifndef PELMOR_VERSION_NUMBERS
#define PELMOR_VERSION_NUMBERS 0, 0, 0, 0
#endif
#ifndef PELMOR_VERSION_TEXT
#define PELMOR_VERSION_TEXT "0.0.0.0"
#endif
#ifndef PELMOR_HOMEPAGE
#define PELMOR_HOMEPAGE "https://pelmor.example.org/"
#endif
#ifndef PELMOR_CONTACT_MAIL
#define PELMOR_CONTACT_MAIL "pelmor@example.org"
#endif

namespace pelmor {

namespace {

constexpr VersionText kTexts[] = {
    {"CompanyName", "The Pelmor developers"},
    {"FileDescription", "Pelmor image viewer control module"},
    {"FileVersion", PELMOR_VERSION_TEXT},
    {"InternalName", "pelmor"},
    {"LegalCopyright", "Copyright (C) 2025 The Pelmor developers"},
    {"OriginalFilename", "libpelmor.so"},
    {"ProductName", "Pelmor"},
    {"ProductVersion", PELMOR_VERSION_TEXT},
};

constexpr VersionBlockContents ModuleContents() {
  VersionBlockContents contents;
  constexpr uint16_t numbers[4] = {PELMOR_VERSION_NUMBERS};
  for (int i = 0; i < 4; ++i) contents.fileVersion[i] = numbers[i];
  contents.texts = kTexts;
  return contents;
}

constexpr size_t kBlockSize = BuildVersionBlock(ModuleContents()).size();
static_assert(kBlockSize > 0, "the version block does not fit its node lengths");

constexpr std::array<uint8_t, kBlockSize> Block() {
  const std::vector<uint8_t> bytes = BuildVersionBlock(ModuleContents());
  std::array<uint8_t, kBlockSize> out{};
  for (size_t i = 0; i < kBlockSize; ++i) out[i] = bytes[i];
  return out;
}

}  // namespace

// In a section of its own, kept even though nothing reads it through memory.
[[gnu::section(".pelmor_version"), gnu::used]] extern const std::array<uint8_t, kBlockSize>
    kModuleVersionBlock = Block();

const void* ModuleVersionAnchor() { return kModuleVersionBlock.data(); }
const char* ModuleHomePage() { return PELMOR_HOMEPAGE; }
const char* ModuleContactMail() { return PELMOR_CONTACT_MAIL; }

}  // namespace pelmor
