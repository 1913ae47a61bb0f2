// Record infos over compiled record descriptions: clearing and deep copies,
// and the checks on descriptions. Field access by name (PutField, GetField)
// has no caller and is left untested.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/record_info.h"
#include "platform/system/module_lock.h"
#include "support/sample_records.h"

using calyra::BstrView;
using calyra::ComPtr;

namespace {

// A description that names itself as its own nested record.
extern const RecordDesc kLoop;
const FieldDesc kLoopFields[] = {{"self", VT_RECORD, 0, &kLoop}};
const RecordDesc kLoop = {"loop", nullptr, 16, kLoopFields, 1};

// Its type's identity and size are what dispatch checks a record argument
// by (dispatch_test.cpp) and what a registered library's record reports
// (tests/server). The sanitizer build's leak check catches a text that
// clearing left behind.
TEST(RecordInfo, HoldsTheModuleAndCopiesAndClearsTextsAtEveryLevel) {
    LONG modules = calyra::ModuleLockCount().load();
    ComPtr<IRecordInfo> info;
    ASSERT_EQ(calyra::CreateRecordInfo(&kPersonDesc, &info), S_OK);
    EXPECT_EQ(calyra::ModuleLockCount().load(), modules + 1)
        << "a client could unload the module under a record info that reads its tables";
    // It owns texts at every level, one with an embedded zero unit.
    const Note note{SysAllocString(u"analytical engine"), 7};
    Person source{SysAllocString(u"Ada"), SysAllocStringLen(u"Love\0lace", 9), 36, -30000.5, VARIANT_TRUE, note};
    Person copy{};
    ASSERT_EQ(info->RecordCopy(&source, &copy), S_OK);
    EXPECT_NE(copy.bstrFirstName, source.bstrFirstName) << "the copy shares a text with its source";
    EXPECT_NE(copy.stNote.bstrText, source.stNote.bstrText) << "the nested record shares a text";
    EXPECT_EQ(BstrView(copy.bstrLastName), std::u16string_view(u"Love\0lace", 9))
        << "a copy stopped at an embedded zero";
    EXPECT_EQ(std::tie(copy.lAge, copy.dtBirthday, copy.bActive, copy.stNote.lPriority),
              std::make_tuple(LONG{36}, -30000.5, VARIANT_BOOL{VARIANT_TRUE}, LONG{7}));
    EXPECT_EQ(info->RecordClear(&source), S_OK);
    Person zero{};
    EXPECT_EQ(std::memcmp(&source, &zero, sizeof(source)), 0);
    EXPECT_EQ(info->RecordClear(nullptr), E_INVALIDARG);
    EXPECT_EQ(BstrView(copy.bstrFirstName), u"Ada");
    EXPECT_EQ(BstrView(copy.stNote.bstrText), u"analytical engine");
    info->RecordClear(&copy);
    info.Reset();
    EXPECT_EQ(calyra::ModuleLockCount().load(), modules);
}

TEST(RecordInfo, RefusesDescriptionsItCouldNotServeSafely) {
    constexpr size_t kSize = 2 * sizeof(BSTR);
    const FieldDesc outside[] = {{"a", VT_BSTR, kSize, nullptr}};
    const FieldDesc overlapping[] = {{"a", VT_BSTR, 0, nullptr}, {"b", VT_I4, 4, nullptr}};
    const FieldDesc noNested[] = {{"a", VT_RECORD, 0, nullptr}};
    const FieldDesc oddKind[] = {{"a", VT_VOID, 0, nullptr}};
    const FieldDesc unnamed[] = {{nullptr, VT_I4, 0, nullptr}};
    const std::pair<const char*, RecordDesc> cases[] = {
        {"field past the end", {"r", nullptr, kSize, outside, 1}},
        {"text sharing bytes with a number", {"r", nullptr, kSize, overlapping, 2}},
        {"nested record without description", {"r", nullptr, kSize, noNested, 1}},
        {"unsupported field kind", {"r", nullptr, kSize, oddKind, 1}},
        {"unnamed field", {"r", nullptr, kSize, unnamed, 1}},
        {"no fields table", {"r", nullptr, kSize, nullptr, 1}},
        {"no size", {"r", nullptr, 0, nullptr, 0}},
        {"no name", {nullptr, nullptr, kSize, nullptr, 0}},
        {"record containing itself", kLoop},
    };
    for (const auto& [what, desc] : cases) {
        // Starts non-NULL: a refusal must still clear the out-parameter.
        IRecordInfo* info = reinterpret_cast<IRecordInfo*>(const_cast<FieldDesc*>(outside));
        EXPECT_EQ(calyra::CreateRecordInfo(&desc, &info), E_INVALIDARG) << what;
        EXPECT_EQ(info, nullptr) << what;
    }
    IRecordInfo* info = nullptr;
    EXPECT_EQ(calyra::CreateRecordInfo(nullptr, &info), E_POINTER);
}

}  // namespace
