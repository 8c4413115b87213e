#include "control/pelmor_ids.h"

namespace pelmor {

static_assert(kPelmorMiscStatus == 0x20191);

const char* LoadModuleString(uint32_t id) {
  switch (id) {
    case IDS_PELMOR: return "Pelmor Control";
    case IDS_PELMOR_PPG: return "Pelmor Property Page";
    case IDS_PELMOR2: return "Pelmor2 Control";
    case IDS_PELMOR2_PPG: return "Pelmor2 Property Page";
    case IDS_PELMOR_PROPERTIES: return "Pelmor Properties";
    default: return "";
  }
}

}  // namespace pelmor
