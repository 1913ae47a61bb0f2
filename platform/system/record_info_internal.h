// What the record info and the type-library loader share beyond the public
// record_info.h: the check that a record description can be served, and a
// record info that remembers the type info it came from.
//
// Descriptions are immutable static tables, so everything here is
// thread-safe. Only platform/ code and its tests include this.
#pragma once

#include <cstddef>

#include "platform/record_info.h"
#include "platform/type_description.h"

namespace calyra::record_info_internal {

// Bytes a field of this kind occupies inside its record (the nested
// record's size for VT_RECORD); 0 for a kind a record cannot hold.
size_t FieldSize(const FieldDesc& field);

// S_OK when every field of the description (and of its nested records)
// has a supported kind, lies inside its record and does not share bytes
// with a field that owns memory; E_POINTER for NULL, E_INVALIDARG
// otherwise. A record info or record array over a description that passes
// never writes outside a record.
HRESULT ValidateRecordDesc(const RecordDesc* desc);

// A record info whose GetTypeInfo hands out `typeInfo` (may be NULL; the
// record info holds one reference to it). The description is checked with
// ValidateRecordDesc first.
HRESULT CreateRecordInfoOfType(const RecordDesc* desc, ITypeInfo* typeInfo, IRecordInfo** ppRecInfo);

}  // namespace calyra::record_info_internal
