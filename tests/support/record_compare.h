// Compares two records field by field through the type library's
// description, so a test checks every field a record has (including ones
// added later) without listing them by hand.
//
//   EXPECT_TRUE(SameRecord(want, got, {"bstrEventID", "dtModified"}));
//
// Texts compare by content (NULL equals empty), nested records field by
// field; a mismatch names the field path and both values.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "idl/typelib_description.h"
#include "platform/bstr.h"

namespace calyra::test {

namespace record_compare_detail {

inline void Compare(const RecordDesc& desc, const char* want, const char* got, const std::string& path,
                    std::initializer_list<std::string_view> ignore, std::ostringstream& diffs) {
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
        case VT_DATE: {
            DATE a = *reinterpret_cast<const DATE*>(w), b = *reinterpret_cast<const DATE*>(g);
            if (a != b) diffs << "  " << where << ": want " << a << ", got " << b << "\n";
            break;
        }
        case VT_RECORD:
            Compare(*f.record, w, g, where + ".", ignore, diffs);
            break;
        default: {
            LONG a = 0, b = 0;
            std::memcpy(&a, w, sizeof a);
            std::memcpy(&b, g, sizeof b);
            if (a != b) diffs << "  " << where << ": want " << a << ", got " << b << "\n";
            break;
        }
        }
    }
}

}  // namespace record_compare_detail

// Every field of `want` and `got` except those named in `ignore` (field
// names as declared, e.g. "bstrEventID"; they are skipped at any depth).
template <class R>
::testing::AssertionResult SameRecord(const R& want, const std::type_identity_t<R>& got,
                                      std::initializer_list<std::string_view> ignore = {}) {
    std::ostringstream diffs;
    const RecordDesc& desc = RecordDescriptionOf<R>();
    record_compare_detail::Compare(desc, reinterpret_cast<const char*>(&want), reinterpret_cast<const char*>(&got),
                                   "", ignore, diffs);
    if (diffs.str().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << desc.name << " differs:\n" << diffs.str();
}

}  // namespace calyra::test
