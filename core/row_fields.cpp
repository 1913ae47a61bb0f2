#include "core/row_fields.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/cursor.h"
#include "platform/bstr.h"
#include "tables/value_conversions.h"

namespace calyra {
namespace {

// Records are plain data; memcpy keeps this independent of alignment.
template <class Value>
void SetField(void* record, size_t offset, Value value) {
    std::memcpy(static_cast<BYTE*>(record) + offset, &value, sizeof value);
}

}  // namespace

void StoreFieldUtf8(void* record, const FieldMap& field, const char* text, size_t bytes, OLECHAR* scratch,
                    size_t scratchUnits) {
    const size_t maxUnits = scratchUnits - 1;
    // A zero byte ends the text, as it ends the connection's copy.
    const size_t n = strnlen(text, bytes);
    bool ascii = n <= maxUnits;
    for (size_t i = 0; ascii && i < n; ++i) ascii = static_cast<unsigned char>(text[i]) < 0x80;
    if (ascii) {
        // One unit per byte, nothing to cut: read the bytes themselves.
        switch (field.kind) {
            case FieldKind::Text: {
                BSTR value = SysAllocStringLen(nullptr, static_cast<UINT>(n));
                if (!value) throw OutOfMemory{};
                for (size_t i = 0; i < n; ++i) value[i] = static_cast<OLECHAR>(text[i]);
                SetField(record, field.offset, value);
                return;
            }
            case FieldKind::Long:
                SetField(record, field.offset, Utf8ToLong(text));
                return;
            case FieldKind::Date:
                SetField(record, field.offset, Utf8ToDate(text));
                return;
            case FieldKind::Flag:
                SetField(record, field.offset, Utf8ToLong(text) == 1 ? LONG{1} : LONG{0});
                return;
        }
    }
    // Decode, cut, and convert the result as a fetched field.
    std::vector<OLECHAR> decoded;
    OLECHAR* units = scratch;
    if (n > maxUnits) {
        decoded.resize(n);
        units = decoded.data();
    }
    size_t length = static_cast<size_t>(DbDecodeText(text, static_cast<LONG>(n), units));
    length = std::min(length, maxUnits);
    if (units != scratch) std::memcpy(scratch, units, length * sizeof(OLECHAR));
    scratch[length] = 0;
    StoreFieldText(record, field, scratch);
}

}  // namespace calyra
