// The type description of SBGTACTXLib (version 1.0): enumerations, the dual interfaces Igtactx and
// Iugtactx with their DISPIDs and help strings, the event interfaces and the two classes, in library order.
// Hosts reach it through the registry (TypeLib key) and the module's DllGetTypeLibrary export.
#pragma once

#include "platform/com/typeinfo.h"

namespace sbgt {

const morven::com::TypeLibrary& TypeLibrary();

}  // namespace sbgt
