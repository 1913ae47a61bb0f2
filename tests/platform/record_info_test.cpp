// Record infos over compiled record descriptions: clearing and deep copies,
// field access by name, the checks on descriptions, and what VariantClear
// frees for each kind of variant.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/module_lock.h"
#include "platform/record_info.h"
#include "platform/safearray.h"
#include "support/sample_records.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::FieldDesc;
using calyra::RecordDesc;

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

struct CountedUnknown : IUnknown {
    std::atomic<ULONG> refs{1};
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

}  // namespace

TEST(RecordInfo, DescribesItsTypeAndAnswersOnlyItsInterfaces) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    ULONG size = 0;
    EXPECT_EQ(info->GetSize(&size), S_OK);
    EXPECT_EQ(size, sizeof(Person));
    GUID guid = GUID_NULL;
    EXPECT_EQ(info->GetGuid(&guid), S_OK);
    EXPECT_EQ(guid, kPersonGuid);
    Bstr name;
    EXPECT_EQ(info->GetName(&name), S_OK);
    EXPECT_EQ(name.utf8(), "tagPerson");
    void* p = &size;
    EXPECT_EQ(info->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    ComPtr<IUnknown> unk;
    EXPECT_EQ(info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    ITypeInfo* type = nullptr;
    EXPECT_EQ(info->GetTypeInfo(&type), E_NOTIMPL) << "made from a description alone, there is no type info";
    EXPECT_EQ(type, nullptr);
}

TEST(RecordInfo, KeepsTheModuleLoadedWhileHeld) {
    LONG before = calyra::ModuleLockCount().load();
    {
        ComPtr<IRecordInfo> info = InfoOf(kNoteDesc);
        EXPECT_EQ(calyra::ModuleLockCount().load(), before + 1)
            << "a client could unload the module under a record info that reads its tables";
    }
    EXPECT_EQ(calyra::ModuleLockCount().load(), before);
}

TEST(RecordInfo, ClearFreesTextsAtEveryLevelAndZeroes) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    Person p;
    std::memset(&p, 0xAB, sizeof(p));
    EXPECT_EQ(info->RecordInit(&p), S_OK);
    EXPECT_EQ(p.bstrFirstName, nullptr);
    EXPECT_EQ(p.stNote.lPriority, 0);
    Fill(&p);
    // The sanitizer build's leak check catches a text left behind.
    EXPECT_EQ(info->RecordClear(&p), S_OK);
    Person zero{};
    EXPECT_EQ(std::memcmp(&p, &zero, sizeof(p)), 0);
    EXPECT_EQ(info->RecordClear(nullptr), E_INVALIDARG);
}

TEST(RecordInfo, CopyIsDeepAndIndependentOfTheSource) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    Person source{};
    Fill(&source);
    Person copy{};
    ASSERT_EQ(info->RecordCopy(&source, &copy), S_OK);
    EXPECT_NE(copy.bstrFirstName, source.bstrFirstName) << "the copy shares a text with its source";
    EXPECT_NE(copy.stNote.bstrText, source.stNote.bstrText) << "the nested record shares a text";
    EXPECT_EQ(Text(copy.bstrLastName), std::u16string(u"Love\0lace", 9)) << "a copy stopped at an embedded zero";
    EXPECT_EQ(copy.lAge, 36);
    EXPECT_EQ(copy.dtBirthday, -30000.5);
    EXPECT_EQ(copy.bActive, VARIANT_TRUE);
    EXPECT_EQ(copy.stNote.lPriority, 7);
    info->RecordClear(&source);
    EXPECT_EQ(Text(copy.bstrFirstName), u"Ada");
    EXPECT_EQ(Text(copy.stNote.bstrText), u"analytical engine");
    info->RecordClear(&copy);
}

TEST(RecordInfo, CreateCopyAndDestroyOwnTheirRecord) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    auto* fresh = static_cast<Person*>(info->RecordCreate());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->bstrFirstName, nullptr);
    Fill(fresh);
    void* copy = nullptr;
    ASSERT_EQ(info->RecordCreateCopy(fresh, &copy), S_OK);
    EXPECT_EQ(Text(static_cast<Person*>(copy)->stNote.bstrText), u"analytical engine");
    EXPECT_EQ(info->RecordDestroy(fresh), S_OK);
    EXPECT_EQ(info->RecordDestroy(copy), S_OK);
    EXPECT_EQ(info->RecordDestroy(nullptr), S_OK);
    EXPECT_EQ(info->RecordCreateCopy(nullptr, &copy), E_INVALIDARG);
    EXPECT_EQ(copy, nullptr);
}

TEST(RecordInfo, MatchesTypesByIdentifier) {
    ComPtr<IRecordInfo> a = InfoOf(kPersonDesc);
    ComPtr<IRecordInfo> b = InfoOf(kPersonDesc);
    ComPtr<IRecordInfo> note = InfoOf(kNoteDesc);
    EXPECT_TRUE(a->IsMatchingType(b.get()));
    EXPECT_FALSE(a->IsMatchingType(note.get()));
    EXPECT_FALSE(a->IsMatchingType(nullptr));
}

TEST(RecordInfo, ListsFieldNamesInOrder) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    ULONG count = 0;
    ASSERT_EQ(info->GetFieldNames(&count, nullptr), S_OK);
    ASSERT_EQ(count, 6u);
    BSTR names[6] = {};
    count = 2;
    ASSERT_EQ(info->GetFieldNames(&count, names), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Text(names[0]), u"bstrFirstName");
    EXPECT_EQ(Text(names[1]), u"bstrLastName");
    EXPECT_EQ(names[2], nullptr) << "wrote past the room the caller gave";
    for (BSTR n : names) SysFreeString(n);
}

TEST(RecordInfo, PutAndGetFieldRoundTripEveryKind) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    Person p{};
    struct Case {
        const char16_t* field;
        VARIANT value;
    };
    VARIANT age{}, born{}, active{}, name{};
    age.vt = VT_I4;
    age.lVal = 42;
    born.vt = VT_DATE;
    born.date = 45000.25;
    active.vt = VT_BOOL;
    active.boolVal = VARIANT_TRUE;
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(u"Hopper");
    for (const Case& c : {Case{u"lAge", age}, Case{u"dtBirthday", born}, Case{u"BACTIVE", active},
                          Case{u"bstrLastName", name}}) {
        VARIANT in = c.value;
        ASSERT_EQ(info->PutField(DISPATCH_PROPERTYPUT, &p, c.field, &in), S_OK) << Bstr(c.field).utf8();
        VARIANT out;
        VariantInit(&out);
        ASSERT_EQ(info->GetField(&p, c.field, &out), S_OK) << Bstr(c.field).utf8();
        EXPECT_EQ(out.vt, c.value.vt);
        if (out.vt == VT_BSTR) {
            EXPECT_NE(out.bstrVal, name.bstrVal) << "GetField must hand out a copy";
            EXPECT_EQ(Text(out.bstrVal), u"Hopper");
        } else {
            EXPECT_EQ(out.llVal, c.value.llVal) << Bstr(c.field).utf8();
        }
        VariantClear(&out);
    }
    EXPECT_EQ(p.lAge, 42);
    EXPECT_NE(p.bstrLastName, name.bstrVal) << "PutField must store a copy";
    VariantClear(&name);

    VARIANT wrong{};
    wrong.vt = VT_BSTR;
    EXPECT_EQ(info->PutField(DISPATCH_PROPERTYPUT, &p, u"lAge", &wrong), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(info->PutField(DISPATCH_PROPERTYPUT, &p, u"lShoeSize", &age), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(info->PutField(DISPATCH_METHOD, &p, u"lAge", &age), E_INVALIDARG);
    info->RecordClear(&p);
}

TEST(RecordInfo, NestedRecordFieldComesOutAsAnOwnedRecordVariant) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    Person p{};
    Fill(&p);
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(info->GetField(&p, u"stNote", &out), S_OK);
    ASSERT_EQ(out.vt, VT_RECORD);
    auto* note = static_cast<Note*>(out.brecVal.pvRecord);
    EXPECT_NE(note->bstrText, p.stNote.bstrText);
    EXPECT_EQ(Text(note->bstrText), u"analytical engine");
    // Write a changed note back through PutField.
    SysReAllocString(&note->bstrText, u"difference engine");
    ASSERT_EQ(info->PutField(DISPATCH_PROPERTYPUT, &p, u"stNote", &out), S_OK);
    EXPECT_EQ(Text(p.stNote.bstrText), u"difference engine");
    EXPECT_NE(p.stNote.bstrText, note->bstrText);
    EXPECT_EQ(VariantClear(&out), S_OK);
    info->RecordClear(&p);
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
    struct Case {
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
    for (const Case& c : cases) {
        // Starts non-NULL: a refusal must still clear the out-parameter.
        IRecordInfo* info = reinterpret_cast<IRecordInfo*>(&cases);
        EXPECT_EQ(calyra::CreateRecordInfo(&c.desc, &info), E_INVALIDARG) << c.what;
        EXPECT_EQ(info, nullptr) << c.what;
    }
    IRecordInfo* info = nullptr;
    EXPECT_EQ(calyra::CreateRecordInfo(nullptr, &info), E_POINTER);
}

TEST(RecordInfo, SharedAcrossThreads) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&info] {
            for (int i = 0; i < 300; ++i) {
                ComPtr<IRecordInfo> mine(info.get());
                Person p{};
                Fill(&p);
                void* copy = nullptr;
                ASSERT_EQ(mine->RecordCreateCopy(&p, &copy), S_OK);
                mine->RecordClear(&p);
                mine->RecordDestroy(copy);
            }
        });
    }
    for (auto& t : threads) t.join();
    info->AddRef();
    EXPECT_EQ(info->Release(), 1u) << "a reference was lost or gained between threads";
}

TEST(VariantClear, FreesWhatEachKindOwnsAndLeavesEmpty) {
    ComPtr<IRecordInfo> info = InfoOf(kPersonDesc);
    CountedUnknown unk;
    VARIANT v;

    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"owned");
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);

    unk.AddRef();
    v.vt = VT_UNKNOWN;
    v.punkVal = &unk;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(unk.refs.load(), 1u) << "VT_UNKNOWN reference not released";

    v.vt = VT_ARRAY | VT_RECORD;
    v.parray = SafeArrayCreateVectorEx(VT_RECORD, 0, 2, info.get());
    ASSERT_NE(v.parray, nullptr);
    Fill(static_cast<Person*>(v.parray->pvData));
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);

    info->AddRef();  // the variant's own reference
    v.vt = VT_RECORD;
    v.brecVal.pRecInfo = info.get();
    v.brecVal.pvRecord = info->RecordCreate();
    Fill(static_cast<Person*>(v.brecVal.pvRecord));
    EXPECT_EQ(VariantClear(&v), S_OK);
    info->AddRef();
    EXPECT_EQ(info->Release(), 1u) << "VT_RECORD record-info reference not released";

    BSTR kept = SysAllocString(u"caller's");
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = &kept;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(Text(kept), u"caller's") << "a by-reference variant freed the caller's text";
    SysFreeString(kept);

    v.vt = VT_I4;
    v.lVal = 5;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(VariantClear, KeepsAVariantWhoseArrayIsLocked) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    ASSERT_NE(v.parray, nullptr);
    ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_BSTR) << "the variant dropped an array it could not destroy";
    SafeArrayUnlock(v.parray);
    EXPECT_EQ(VariantClear(&v), S_OK);
}
