// ITypeInfo over one type of the type library: its attributes, its methods and properties (or an
// enumeration's constants) in declared order, their names and help strings.
#pragma once

#include "control/type_library.h"
#include "pelmor/pelmor.h"

namespace pelmor::module {

// A new ITypeInfo, with one reference, for a type of PELMORLib.
ITypeInfo* NewTypeInfo(const TypeDesc& type);

}  // namespace pelmor::module
