#include "control/headless_control.h"

#include "control/pelmor2_ctrl.h"

namespace pelmor {

std::unique_ptr<CPelmorCtrl> CreatePelmorControl(int generation) {
  if (generation == 1) return std::make_unique<CPelmorCtrl>();
  if (generation == 2) return std::make_unique<CPelmor2Ctrl>();
  return nullptr;
}

HeadlessControl::~HeadlessControl() { Destroy(); }

bool HeadlessControl::Create(int generation, int32_t width, int32_t height) {
  Destroy();
  control_ = CreatePelmorControl(generation);
  if (control_ == nullptr) return false;
  if (!host.Embed(*control_, width, height)) {
    control_.reset();
    return false;
  }
  return true;
}

void HeadlessControl::Destroy() {
  if (control_ == nullptr) return;
  control_->Close();
  control_.reset();
}

}  // namespace pelmor
