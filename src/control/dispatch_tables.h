// The dispatch interfaces of the two controls, _DPelmor and _DPelmor2, as data: every member in
// the order of the dispatch map, with its identifier, kind, type, parameters, accessors, help
// string and marks. The type library, the property pages and the script host read these tables.
#pragma once

#include "platform/ole/dispatch.h"

namespace pelmor {

const ole::DispatchTable& PelmorDispatchTable();
const ole::DispatchTable& Pelmor2DispatchTable();

}  // namespace pelmor
