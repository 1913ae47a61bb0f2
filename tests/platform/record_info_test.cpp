// Record infos over compiled record descriptions: clearing and deep copies,
// and the checks on descriptions. Field access by name (PutField, GetField)
// has no caller and is left untested.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <tuple>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/record_info.h"
#include "platform/system/module_lock.h"
#include "support/sample_records.h"

using calyra::Bstr;
using calyra::ComPtr;

namespace {

// A description that names itself as its own nested record.
extern const RecordDesc kLoop;
const FieldDesc kLoopFields[] = {{"self", VT_RECORD, 0, &kLoop}};
const RecordDesc kLoop = {"loop", nullptr, 16, kLoopFields, 1};

ComPtr<IRecordInfo> InfoOf(const RecordDesc& desc) {
    ComPtr<IRecordInfo> info;
    EXPECT_EQ(calyra::CreateRecordInfo(&desc, &info), S_OK);
    return info;
}

std::u16string Text(BSTR b) { return std::u16string(b ? b : u"", SysStringLen(b)); }

// A person owning texts at every level; the caller clears it.
void Fill(Person* p) {
    p->bstrFirstName = SysAllocString(u"Ada");
    p->bstrLastName = SysAllocStringLen(u"Love\0lace", 9);  // embedded zero unit
    p->lAge = 36;
    p->dtBirthday = -30000.5;
    p->bActive = VARIANT_TRUE;
    p->stNote.bstrText = SysAllocString(u"analytical engine");
    p->stNote.lPriority = 7;
}

// Its type's identity and size are what dispatch checks a record argument
// by (dispatch_test.cpp) and what a registered library's record reports
// (tests/server).
TEST(RecordInfo, HoldsTheModule) {
    LONG modules = calyra::ModuleLockCount().load();
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    EXPECT_EQ(calyra::ModuleLockCount().load(), modules + 1)
        << "a client could unload the module under a record info that reads its tables";
    info.Reset();
    EXPECT_EQ(calyra::ModuleLockCount().load(), modules);
}

// The sanitizer build's leak check catches a text that clearing left behind.
TEST(RecordInfo, CopyAndClearOwnTextsAtEveryLevel) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    Person source{};
    Fill(&source);
    Person copy{};
    ASSERT_EQ(info->RecordCopy(&source, &copy), S_OK);
    EXPECT_NE(copy.bstrFirstName, source.bstrFirstName) << "the copy shares a text with its source";
    EXPECT_NE(copy.stNote.bstrText, source.stNote.bstrText) << "the nested record shares a text";
    EXPECT_EQ(Text(copy.bstrLastName), std::u16string(u"Love\0lace", 9)) << "a copy stopped at an embedded zero";
    EXPECT_EQ(std::tie(copy.lAge, copy.dtBirthday, copy.bActive, copy.stNote.lPriority),
              std::make_tuple(LONG{36}, -30000.5, VARIANT_BOOL{VARIANT_TRUE}, LONG{7}));
    EXPECT_EQ(info->RecordClear(&source), S_OK);
    Person zero{};
    EXPECT_EQ(std::memcmp(&source, &zero, sizeof(source)), 0);
    EXPECT_EQ(info->RecordClear(nullptr), E_INVALIDARG);
    EXPECT_EQ(Text(copy.bstrFirstName), u"Ada");
    EXPECT_EQ(Text(copy.stNote.bstrText), u"analytical engine");
    info->RecordClear(&copy);
}

TEST(RecordInfo, RefusesDescriptionsItCouldNotServeSafely) {
    struct Two {
        BSTR a;
        BSTR b;
    };
    const FieldDesc outside[] = {{"a", VT_BSTR, sizeof(Two), nullptr}};
    const FieldDesc overlapping[] = {{"a", VT_BSTR, 0, nullptr}, {"b", VT_I4, 4, nullptr}};
    const FieldDesc noNested[] = {{"a", VT_RECORD, 0, nullptr}};
    const FieldDesc oddKind[] = {{"a", VT_VOID, 0, nullptr}};
    const FieldDesc unnamed[] = {{nullptr, VT_I4, 0, nullptr}};
    const struct {
        const char* what;
        RecordDesc desc;
    } cases[] = {
        {"field past the end", {"r", nullptr, sizeof(Two), outside, 1}},
        {"text sharing bytes with a number", {"r", nullptr, sizeof(Two), overlapping, 2}},
        {"nested record without description", {"r", nullptr, sizeof(Two), noNested, 1}},
        {"unsupported field kind", {"r", nullptr, sizeof(Two), oddKind, 1}},
        {"unnamed field", {"r", nullptr, sizeof(Two), unnamed, 1}},
        {"no fields table", {"r", nullptr, sizeof(Two), nullptr, 1}},
        {"no size", {"r", nullptr, 0, nullptr, 0}},
        {"no name", {nullptr, nullptr, sizeof(Two), nullptr, 0}},
        {"record containing itself", kLoop},
    };
    for (const auto& c : cases) {
        // Starts non-NULL: a refusal must still clear the out-parameter.
        IRecordInfo* info = reinterpret_cast<IRecordInfo*>(const_cast<FieldDesc*>(outside));
        EXPECT_EQ(calyra::CreateRecordInfo(&c.desc, &info), E_INVALIDARG) << c.what;
        EXPECT_EQ(info, nullptr) << c.what;
    }
    IRecordInfo* info = nullptr;
    EXPECT_EQ(calyra::CreateRecordInfo(nullptr, &info), E_POINTER);
}

}  // namespace
