// Expands the type library's content (typelib.def) with the hooks the
// including file has defined; hooks it left undefined expand to nothing.
// Include it once per pass; it undefines every hook afterwards, so each pass
// starts clean. No include guard, on purpose.
//
// Hooks:
//   CALYRA_LIBRARY(name, major, minor, guid)
//   CALYRA_ERROR(name, value)
//   CALYRA_ENUM_BEGIN(name, guid) / CALYRA_ENUM_VALUE(enum, name, value) / CALYRA_ENUM_END(name)
//   CALYRA_RECORD_BEGIN(name, guid) / CALYRA_FIELD(record, type, name) / CALYRA_RECORD_END(name)
//   CALYRA_INTERFACE_BEGIN(name, guid) / CALYRA_METHOD(iface, name, params) / CALYRA_INTERFACE_END(name)
//   CALYRA_PARAM(dir, type, name)          one parameter after plErrorID
//   CALYRA_PARAM_ARRAY(dir, record, name)  a SAFEARRAY** of records
//   CALYRA_COCLASS(name, iface, guid, progID, versionIndependentProgID, description, threading)
//                                          threading is Free, Both or Apartment
// Every method takes `LONG* plErrorID` first; the content leaves it implicit.
// dir is one of In, Out, InOut, RetVal. A guid is a parenthesised list of
// eleven numbers; CALYRA_GUID_INIT guid turns it into an initialiser.

#ifndef CALYRA_GUID_INIT
#define CALYRA_GUID_INIT(l, w1, w2, b0, b1, b2, b3, b4, b5, b6, b7) \
    {                                                               \
        l, w1, w2, { b0, b1, b2, b3, b4, b5, b6, b7 }               \
    }
#endif

#define CALYRA_IN(type, name) CALYRA_PARAM(In, type, name)
#define CALYRA_OUT(type, name) CALYRA_PARAM(Out, type, name)
#define CALYRA_INOUT(type, name) CALYRA_PARAM(InOut, type, name)
#define CALYRA_RETVAL(type, name) CALYRA_PARAM(RetVal, type, name)
#define CALYRA_OUT_ARRAY(record, name) CALYRA_PARAM_ARRAY(Out, record, name)
#define CALYRA_RETVAL_ARRAY(record, name) CALYRA_PARAM_ARRAY(RetVal, record, name)

#ifndef CALYRA_LIBRARY
#define CALYRA_LIBRARY(name, major, minor, guid)
#endif
#ifndef CALYRA_ERROR
#define CALYRA_ERROR(name, value)
#endif
#ifndef CALYRA_ENUM_BEGIN
#define CALYRA_ENUM_BEGIN(name, guid)
#endif
#ifndef CALYRA_ENUM_VALUE
#define CALYRA_ENUM_VALUE(enumeration, name, value)
#endif
#ifndef CALYRA_ENUM_END
#define CALYRA_ENUM_END(name)
#endif
#ifndef CALYRA_RECORD_BEGIN
#define CALYRA_RECORD_BEGIN(name, guid)
#endif
#ifndef CALYRA_FIELD
#define CALYRA_FIELD(record, type, name)
#endif
#ifndef CALYRA_RECORD_END
#define CALYRA_RECORD_END(name)
#endif
#ifndef CALYRA_INTERFACE_BEGIN
#define CALYRA_INTERFACE_BEGIN(name, guid)
#endif
#ifndef CALYRA_METHOD
#define CALYRA_METHOD(iface, name, params)
#endif
#ifndef CALYRA_INTERFACE_END
#define CALYRA_INTERFACE_END(name)
#endif
#ifndef CALYRA_PARAM
#define CALYRA_PARAM(dir, type, name)
#endif
#ifndef CALYRA_PARAM_ARRAY
#define CALYRA_PARAM_ARRAY(dir, record, name)
#endif
#ifndef CALYRA_COCLASS
#define CALYRA_COCLASS(name, iface, guid, progID, versionIndependentProgID, description, threading)
#endif

#include "idl/typelib.def"

#undef CALYRA_IN
#undef CALYRA_OUT
#undef CALYRA_INOUT
#undef CALYRA_RETVAL
#undef CALYRA_OUT_ARRAY
#undef CALYRA_RETVAL_ARRAY
#undef CALYRA_LIBRARY
#undef CALYRA_ERROR
#undef CALYRA_ENUM_BEGIN
#undef CALYRA_ENUM_VALUE
#undef CALYRA_ENUM_END
#undef CALYRA_RECORD_BEGIN
#undef CALYRA_FIELD
#undef CALYRA_RECORD_END
#undef CALYRA_INTERFACE_BEGIN
#undef CALYRA_METHOD
#undef CALYRA_INTERFACE_END
#undef CALYRA_PARAM
#undef CALYRA_PARAM_ARRAY
#undef CALYRA_COCLASS
