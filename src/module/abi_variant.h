// Values across the binary interface: a host's VARIANT to the framework's Variant and back.
#pragma once

#include "pelmor/pelmor.h"
#include "platform/ole/variant.h"

namespace pelmor::module {

// The value a host passed. VT_NULL counts as empty; an object must be one this module handed out
// (DISP_E_TYPEMISMATCH otherwise); any other type is DISP_E_BADVARTYPE.
HRESULT FromAbi(const VARIANT& in, ole::Variant& out);

// The value for the host, into a VARIANT that holds nothing: strings are copied, objects handed
// out with a reference of the host's own. E_OUTOFMEMORY when the copy cannot be made.
HRESULT ToAbi(const ole::Variant& in, VARIANT& out);

}  // namespace pelmor::module
