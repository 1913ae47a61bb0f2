// Fills and compares records field by field through the type library's
// description, so a test covers every field a record has (including ones
// added later) without listing them by hand.
//
//   FillDistinct(want);
//   EXPECT_TRUE(SameRecord(want, got, {"bstrEventID", "dtModified"}));
//
// Texts compare by content (NULL equals empty), nested records field by
// field; a mismatch names the field path and both values. Nothing here holds
// state; the record filled owns its new texts.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "idl/typelib_description.h"
#include "platform/bstr.h"
#include "tables/value_conversions.h"

namespace calyra::test {

namespace record_compare_detail {

inline void Compare(const RecordDesc& desc, const char* want, const char* got, const std::string& path,
                    const std::vector<std::string_view>& ignore, std::ostringstream& diffs) {
    for (size_t i = 0; i < desc.fieldCount; ++i) {
        const FieldDesc& f = desc.fields[i];
        bool skip = false;
        for (auto name : ignore) skip = skip || name == f.name;
        if (skip) continue;
        const std::string where = path + f.name;
        const char* w = want + f.offset;
        const char* g = got + f.offset;
        switch (f.vt) {
            case VT_BSTR: {
                auto a = BstrUtf8(*reinterpret_cast<const BSTR*>(w)), b = BstrUtf8(*reinterpret_cast<const BSTR*>(g));
                if (a != b) diffs << "  " << where << ": want \"" << a << "\", got \"" << b << "\"\n";
                break;
            }
            case VT_RECORD:
                Compare(*f.record, w, g, where + ".", ignore, diffs);
                break;
            default: {  // dates, and the 32-bit numbers compared as such
                LONG x = 0, y = 0;
                std::memcpy(&x, w, sizeof x);
                std::memcpy(&y, g, sizeof y);
                const double a = f.vt == VT_DATE ? *reinterpret_cast<const DATE*>(w) : x;
                const double b = f.vt == VT_DATE ? *reinterpret_cast<const DATE*>(g) : y;
                if (a != b) diffs << "  " << where << ": want " << a << ", got " << b << "\n";
                break;
            }
        }
    }
}

// Numbers and dates that differ from field to field and from seed to seed;
// flags (LONG fields named b...) are 1 for seed 0 and 0 for any other, since
// every flag reads back as 0 or 1.
inline void Fill(const RecordDesc& desc, char* record, int& n) {
    for (size_t i = 0; i < desc.fieldCount; ++i) {
        const FieldDesc& f = desc.fields[i];
        char* at = record + f.offset;
        ++n;
        if (f.vt == VT_BSTR) {
            BSTR& text = *reinterpret_cast<BSTR*>(at);
            SysFreeString(text);
            text = Bstr::FromUtf8(std::string(f.name) + " 'q" + std::to_string(n) + "'").Detach();
        } else if (f.vt == VT_DATE) {
            *reinterpret_cast<DATE*>(at) = DateFromParts(1990 + n, 1 + n % 12, 1 + n % 28, n % 24, n % 60, 7 * n % 60);
        } else if (f.vt == VT_RECORD) {
            Fill(*f.record, at, n);
        } else {
            const LONG value = f.name[0] == 'b' ? (n < 1000 ? 1 : 0) : -1000 - n;
            std::memcpy(at, &value, sizeof value);
        }
    }
}

}  // namespace record_compare_detail

// Gives every field of `record` its own value; another seed gives others.
template <class R>
void FillDistinct(R& record, int seed = 0) {
    int n = seed * 1000;
    record_compare_detail::Fill(RecordDescriptionOf<R>(), reinterpret_cast<char*>(&record), n);
}

// Every field of `want` and `got` except those named in `ignore` (field
// names as declared, e.g. "bstrEventID"; they are skipped at any depth).
template <class R>
::testing::AssertionResult SameRecord(const R& want, const std::type_identity_t<R>& got,
                                      const std::vector<std::string_view>& ignore = {}) {
    std::ostringstream diffs;
    const RecordDesc& desc = RecordDescriptionOf<R>();
    record_compare_detail::Compare(desc, reinterpret_cast<const char*>(&want), reinterpret_cast<const char*>(&got), "",
                                   ignore, diffs);
    if (diffs.str().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << desc.name << " differs:\n" << diffs.str();
}

}  // namespace calyra::test
