// Run-time description of a type library: records with their field layout,
// interfaces with their methods and parameters, enumerations and classes.
//
// The type library's content is compiled into constant tables of these
// structures (see idl/). Record infos, record arrays, the type-library
// loader and automation dispatch all read them; nothing writes them. All
// pointers refer to static storage that lives as long as the module.
#pragma once

#include <cstddef>

#include "platform/guid.h"
#include "platform/types.h"
#include "platform/variant.h"

namespace calyra {

struct RecordDesc;
struct InterfaceDesc;
struct EnumDesc;

struct FieldDesc {
    const char* name;
    VARTYPE vt;                // VT_BSTR, VT_I4, VT_UI4, VT_DATE, VT_BOOL, VT_RECORD
    size_t offset;             // byte offset inside the record
    const RecordDesc* record;  // the nested record's description for VT_RECORD
    // The enumeration a VT_I4 field holds values of; NULL for a plain number.
    const EnumDesc* enumeration = nullptr;
};

struct RecordDesc {
    const char* name;
    const GUID* guid;
    size_t size;
    const FieldDesc* fields;
    size_t fieldCount;
};

enum class ParamDir : BYTE { In, Out, InOut, RetVal };

struct ParamDesc {
    const char* name;
    ParamDir dir;
    // The automation type: VT_BYREF is set for pointer parameters; arrays of
    // records are VT_ARRAY | VT_RECORD | VT_BYREF.
    VARTYPE vt;
    const RecordDesc* record;  // for VT_RECORD forms
    const IID* iid;            // for interface pointers (VT_DISPATCH forms)
};

struct MethodDesc {
    const char* name;
    DISPID dispid;            // 1-based position in the interface
    const ParamDesc* params;  // including the leading plErrorID
    size_t paramCount;
};

struct InterfaceDesc {
    const char* name;
    const IID* iid;
    const MethodDesc* methods;
    size_t methodCount;
};

struct EnumValueDesc {
    const char* name;
    LONG value;
};

struct EnumDesc {
    const char* name;
    const GUID* guid;
    const EnumValueDesc* values;
    size_t valueCount;
};

struct CoClassDesc {
    const char* name;
    const CLSID* clsid;
    const IID* iid;  // the one interface the class implements
};

struct TypeLibDesc {
    const char* name;
    const GUID* libid;
    WORD majorVersion;
    WORD minorVersion;
    const RecordDesc* const* records;
    size_t recordCount;
    const InterfaceDesc* const* interfaces;
    size_t interfaceCount;
    const EnumDesc* const* enums;
    size_t enumCount;
    const CoClassDesc* coclasses;
    size_t coclassCount;
};

}  // namespace calyra
