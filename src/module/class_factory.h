// The module's class objects: one factory per class of the module, made when the module is
// loaded, in the order of the class table, after the application object.
#pragma once

#include "control/module_registration.h"
#include "pelmor/pelmor.h"

namespace pelmor::module {

// The factory of a class of the module, as the host's IClassFactory (no new reference: the
// factories live as long as the module); null for a class the module does not have.
IClassFactory* FindClassFactory(const ole::GUID& clsid);

}  // namespace pelmor::module
