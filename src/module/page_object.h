// A property page as the module hands it out: the control's own page (generation 1 or 2) behind
// IPelmorPropertyPage, editing controls of this module, shown inside a host's Qt widget through
// the module's Qt panel library.
#pragma once

#include "pelmor/pelmor.h"

namespace pelmor::module {

// A new page of generation 1 or 2 with one reference, as its IPelmorPropertyPage.
HRESULT NewPropertyPage(int generation, IPelmorPropertyPage** page);

}  // namespace pelmor::module
