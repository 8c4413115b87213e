// Saved state from a stranger: the input is loaded as a stream into a control of each generation
// and read as a text property bag loaded into a control. Whatever loads must save, load into a new
// control and save again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "control/headless_control.h"
#include "fuzz_driver.h"
#include "platform/ole/text_property_bag.h"

namespace {

using pelmor::HeadlessControl;
using namespace pelmor::ole;

constexpr int32_t kWidth = 48;
constexpr int32_t kHeight = 32;

std::vector<uint8_t> Save(pelmor::CPelmorCtrl& c) {
  std::vector<uint8_t> out;
  if (c.SaveToStream(out) != S_OK) std::abort();
  return out;
}

void FuzzStream(int generation, const uint8_t* data, size_t size) {
  HeadlessControl first;
  if (!first.Create(generation, kWidth, kHeight)) std::abort();
  if (first.Control().LoadFromStream(data, size) != S_OK) return;
  const std::vector<uint8_t> saved = Save(first.Control());
  HeadlessControl second;
  if (!second.Create(generation, kWidth, kHeight)) std::abort();
  if (second.Control().LoadFromStream(saved.data(), saved.size()) != S_OK) std::abort();
  if (Save(second.Control()) != saved) std::abort();
}

void FuzzBag(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<MemoryPropertyBag> bag = ParsePropertyText(text, nullptr);
  if (!bag) return;
  // What parses is written back to the same bag.
  std::optional<MemoryPropertyBag> again = ParsePropertyText(FormatPropertyText(*bag), nullptr);
  if (!again || !(*again == *bag)) std::abort();

  HeadlessControl first;
  if (!first.Create(2, kWidth, kHeight)) std::abort();
  if (first.Control().LoadFromBag(*bag) != S_OK) return;
  MemoryPropertyBag saved;
  if (first.Control().SaveToBag(saved) != S_OK) std::abort();
  std::optional<MemoryPropertyBag> reread = ParsePropertyText(FormatPropertyText(saved), nullptr);
  if (!reread) std::abort();
  HeadlessControl second;
  if (!second.Create(2, kWidth, kHeight)) std::abort();
  if (second.Control().LoadFromBag(*reread) != S_OK) std::abort();
  MemoryPropertyBag savedAgain;
  if (second.Control().SaveToBag(savedAgain) != S_OK || !(savedAgain == saved)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pelmor::fuzz::LimitImageAllocations();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzStream(1, data, size);
  FuzzStream(2, data, size);
  FuzzBag(data, size);
  return 0;
}
