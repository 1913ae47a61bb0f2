// Definitions of every identifier of the type library, expanded from
// typelib.def. FROZEN values: see typelib.def.
#include "idl/calyra_idl.h"

#define CALYRA_LIBRARY(name, major, minor, guid) extern "C" const GUID LIBID_##name = CALYRA_GUID_INIT guid;
#define CALYRA_ENUM_BEGIN(name, guid) extern "C" const GUID GUID_##name = CALYRA_GUID_INIT guid;
#define CALYRA_RECORD_BEGIN(name, guid) extern "C" const GUID GUID_##name = CALYRA_GUID_INIT guid;
#define CALYRA_INTERFACE_BEGIN(name, guid) extern "C" const IID IID_##name = CALYRA_GUID_INIT guid;
#define CALYRA_COCLASS(name, iface, guid, ...) extern "C" const CLSID CLSID_##name = CALYRA_GUID_INIT guid;
#include "idl/typelib_expand.h"
