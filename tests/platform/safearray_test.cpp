// Automation arrays: record arrays with their hidden record info, locking,
// and what destruction and VariantClear release. The component makes record
// arrays only; an empty one is what a query without rows returns (tests/access).
#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/posix/safearray_internal.h"
#include "platform/record_info.h"
#include "platform/safearray.h"
#include "support/automation.h"
#include "support/sample_records.h"

using calyra::ComPtr;
using namespace calyra::test;

namespace {

ULONG RefCount(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

ComPtr<IRecordInfo> PersonInfo() {
    ComPtr<IRecordInfo> info;
    EXPECT_EQ(calyra::CreateRecordInfo(&kPersonDesc, &info), S_OK);
    return info;
}

TEST(RecordArray, KeepsItsRecordInfoHiddenAndFreesEveryTextOnceUnlocked) {
    ComPtr<IRecordInfo> info = PersonInfo();
    ULONG before = RefCount(info.get());
    constexpr ULONG kCount = 50;
    SAFEARRAY* psa = SafeArrayCreateVectorEx(VT_RECORD, 0, kCount, info.get());
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(psa->fFeatures & FADF_RECORD, FADF_RECORD);
    EXPECT_EQ(psa->cbElements, sizeof(Person));
    EXPECT_EQ(calyra::safearray_internal::HiddenRecordInfo(psa), info.get())
        << "a client reading the slot before the descriptor would not find the record info";
    EXPECT_EQ(RefCount(info.get()), before + 1);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
    EXPECT_EQ(vt, VT_RECORD);

    IRecordInfo* got = nullptr;
    ASSERT_EQ(SafeArrayGetRecordInfo(psa, &got), S_OK);
    EXPECT_EQ(got, info.get());
    EXPECT_EQ(RefCount(info.get()), before + 2) << "SafeArrayGetRecordInfo must hand out an added reference";
    got->Release();
    EXPECT_EQ(SafeArrayGetRecordInfo(psa, nullptr), E_INVALIDARG);

    auto* people = static_cast<Person*>(psa->pvData);
    for (ULONG i = 0; i < kCount; ++i) {
        ASSERT_TRUE(!people[i].bstrFirstName && !people[i].stNote.bstrText && !people[i].lAge) << "not zeroed";
        people[i].bstrFirstName = SysAllocString(u"Ada");
        people[i].stNote.bstrText = SysAllocString(u"first programmer");
    }
    // A locked array, or one whose data is accessed, is refused and left whole.
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    ASSERT_EQ(SafeArrayLock(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnlock(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED) << "access still held";
    EXPECT_EQ(calyra::BstrUtf8(static_cast<Person*>(data)[kCount - 1].bstrFirstName), "Ada");
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED) << "unlocking an unlocked array must fail";
    // The leak check of the sanitizer build fails this test if a text survives.
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(RefCount(info.get()), before) << "destroying the array leaked a record-info reference";
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);

    SAFEARRAY* longs = SafeArrayCreateVector(VT_I4, 0, 2);
    got = reinterpret_cast<IRecordInfo*>(&before);
    EXPECT_EQ(SafeArrayGetRecordInfo(longs, &got), E_INVALIDARG);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(SafeArrayDestroy(longs), S_OK);
}

TEST(RecordArray, CreationRefusesWhatItCannotHold) {
    ComPtr<IRecordInfo> info = PersonInfo();
    SAFEARRAYBOUND countOverflow[3] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    // The count fits 64 bits; the count times the record size does not.
    SAFEARRAYBOUND bytesOverflow[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    SAFEARRAYBOUND past[1] = {{2, std::numeric_limits<LONG>::max()}};
    SAFEARRAYBOUND below[1] = {{0, std::numeric_limits<LONG>::min()}};
    SAFEARRAYBOUND one[1] = {{1, 0}};
    const std::pair<const char*, SAFEARRAY*> cases[] = {
        {"record without record info", SafeArrayCreateVectorEx(VT_RECORD, 0, 1, nullptr)},
        {"record through the plain creator", SafeArrayCreateVector(VT_RECORD, 0, 1)},
        {"no dimensions", SafeArrayCreateEx(VT_RECORD, 0, one, info.get())},
        {"no bounds", SafeArrayCreateEx(VT_RECORD, 1, nullptr, info.get())},
        {"unsupported element type", SafeArrayCreateVector(VT_VOID, 0, 1)},
        {"element count overflows", SafeArrayCreateEx(VT_RECORD, 3, countOverflow, info.get())},
        {"byte size overflows", SafeArrayCreateEx(VT_RECORD, 2, bytesOverflow, info.get())},
        {"upper bound past LONG", SafeArrayCreateEx(VT_RECORD, 1, past, info.get())},
        {"upper bound below LONG", SafeArrayCreateEx(VT_RECORD, 1, below, info.get())},
    };
    for (const auto& [what, psa] : cases) {
        EXPECT_EQ(psa, nullptr) << what;
        SafeArrayDestroy(psa);
    }
}

TEST(VariantClear, FreesWhatEachKindOwnsAndLeavesEmpty) {
    ComPtr<IRecordInfo> info = PersonInfo();
    info->AddRef();  // the variant's own reference, to any interface
    VARIANT v = MakeVariant(VT_UNKNOWN, [&](VARIANT& x) { x.punkVal = info.get(); });
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(RefCount(info.get()), 1u) << "VT_UNKNOWN reference not released";

    info->AddRef();  // the variant's own reference
    v = RecordArg(info->RecordCreate(), info.get());
    static_cast<Person*>(v.pvRecord)->stNote.bstrText = SysAllocString(u"nested");
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(RefCount(info.get()), 1u) << "VT_RECORD record-info reference not released";

    BSTR kept = SysAllocString(u"caller's");
    v = Ref(VT_BSTR, &kept);
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(calyra::Bstr::Attach(kept).view(), u"caller's") << "a by-reference variant freed the caller's text";

    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);

    // A variant whose array is locked keeps it.
    v = MakeVariant(VT_ARRAY | VT_BSTR, [](VARIANT& x) { x.parray = SafeArrayCreateVector(VT_BSTR, 0, 1); });
    ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_BSTR) << "the variant dropped an array it could not destroy";
    SafeArrayUnlock(v.parray);
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(SafeArrayLocking, ConcurrentLocksBalanceOut) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 8);
    ASSERT_NE(psa, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([psa] {
            for (int i = 0; i < 2000; ++i) {
                void* data = nullptr;
                ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
                ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(psa->cLocks, 0u) << "a lost lock update would keep the array undestroyable";
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

}  // namespace
