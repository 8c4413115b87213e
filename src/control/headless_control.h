// A control of either generation embedded in a headless host: what the command line, the tests,
// the fuzzer and the benchmark drive. Set the host's ambient properties and options before Create.
#pragma once

#include <cstdint>
#include <memory>

#include "control/pelmor_ctrl.h"
#include "platform/ole/headless_host.h"

namespace pelmor {

// A new control: generation 1 (CPelmorCtrl) or 2 (CPelmor2Ctrl); null for any other number.
std::unique_ptr<CPelmorCtrl> CreatePelmorControl(int generation);

class HeadlessControl {
 public:
  HeadlessControl() = default;
  ~HeadlessControl();
  HeadlessControl(const HeadlessControl&) = delete;
  HeadlessControl& operator=(const HeadlessControl&) = delete;

  // Makes the control, gives it the host as its site, initialises it as a new instance and
  // creates its window of width x height pixels. False when the generation is unknown or the
  // window could not be created.
  bool Create(int generation, int32_t width, int32_t height);
  CPelmorCtrl& Control() { return *control_; }
  bool HasControl() const { return control_ != nullptr; }
  // Ends the control (close, then destruction); the host stays.
  void Destroy();

  ole::HeadlessHost host;

 private:
  std::unique_ptr<CPelmorCtrl> control_;
};

}  // namespace pelmor
