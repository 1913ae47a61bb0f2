// Type libraries over compiled descriptions: the version rules of
// LoadRegTypeLib and GetRecordInfoFromGuids. Finding a record type and making
// an array of it is what the access objects' GetAll calls do, tested there.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/com_ptr.h"
#include "platform/type_lib.h"
#include "support/sample_records.h"

using calyra::ComPtr;
using calyra::TypeLibDesc;

namespace {

constexpr GUID G(DWORD n) { return {0x6b1c0a10, 0x3333, 0x4a00, {0x80, 0, 0, 0, 0, 0, 0, static_cast<BYTE>(n)}}; }
constexpr GUID kEnumGuid = G(4);
constexpr GUID kLibGuid = G(10);
constexpr GUID kTwoVersionsLibGuid = G(11);
constexpr GUID kUnknownGuid = G(99);

const RecordDesc* const kRecords[] = {&kNoteDesc};
const calyra::EnumValueDesc kMoods[] = {{"enumMood_Calm", 0}, {"enumMood_Busy", 1}};
const calyra::EnumDesc kEnum = {"enumMood", &kEnumGuid, kMoods, 2};
const calyra::EnumDesc* const kEnums[] = {&kEnum};

constexpr TypeLibDesc Library(const GUID* libid, WORD major, WORD minor) {
    return {"DiaryLib", libid, major, minor, kRecords, 1, nullptr, 0, kEnums, 1, nullptr, 0};
}
const TypeLibDesc kDiaryLib = Library(&kLibGuid, 2, 3);
const TypeLibDesc kOlderMinor = Library(&kTwoVersionsLibGuid, 4, 1);
const TypeLibDesc kNewerMinor = Library(&kTwoVersionsLibGuid, 4, 6);

void RegisterAll() {
    ASSERT_EQ(calyra::RegisterTypeLibDescription(&kDiaryLib), S_OK);
    ASSERT_EQ(calyra::RegisterTypeLibDescription(&kOlderMinor), S_OK);
    ASSERT_EQ(calyra::RegisterTypeLibDescription(&kNewerMinor), S_OK);
}

}  // namespace

TEST(LoadRegTypeLib, FollowsTheVersionRules) {
    RegisterAll();
    // The library and version asked for, what loading returns and which minor
    // version loads: for two versions of a library the newest compatible one.
    using Case = std::tuple<const GUID*, WORD, WORD, HRESULT, WORD>;
    for (const auto& [libid, major, minor, hr, loadedMinor] :
         {Case{&kLibGuid, 2, 0, S_OK, 3}, Case{&kLibGuid, 2, 3, S_OK, 3},
          Case{&kLibGuid, 2, 4, TYPE_E_LIBNOTREGISTERED, 0}, Case{&kLibGuid, 1, 0, TYPE_E_LIBNOTREGISTERED, 0},
          Case{&kLibGuid, 3, 0, TYPE_E_LIBNOTREGISTERED, 0}, Case{&kUnknownGuid, 2, 0, TYPE_E_LIBNOTREGISTERED, 0},
          Case{&kTwoVersionsLibGuid, 4, 0, S_OK, 6}, Case{&kTwoVersionsLibGuid, 4, 2, S_OK, 6},
          Case{&kTwoVersionsLibGuid, 4, 7, TYPE_E_LIBNOTREGISTERED, 0}}) {
        SCOPED_TRACE(testing::Message() << "requested " << major << "." << minor);
        ITypeLib* lib = reinterpret_cast<ITypeLib*>(const_cast<GUID*>(libid));  // a refusal clears it
        ASSERT_EQ(LoadRegTypeLib(*libid, major, minor, 0x0409, &lib), hr);
        if (FAILED(hr)) {
            EXPECT_EQ(lib, nullptr);
            continue;
        }
        const TypeLibDesc* desc = nullptr;
        EXPECT_EQ(lib->GetDescription(&desc), S_OK);
        EXPECT_EQ(desc->minorVersion, loadedMinor);
        GUID loaded = GUID_NULL;
        EXPECT_EQ(lib->GetLibGuid(&loaded), S_OK);
        EXPECT_EQ(loaded, *libid);
        lib->Release();
    }
}

TEST(GetRecordInfoFromGuids, LoadsTheLibraryAndFindsTheRecord) {
    RegisterAll();
    ComPtr<IRecordInfo> info;
    ASSERT_EQ(GetRecordInfoFromGuids(kLibGuid, 2, 1, LOCALE_USER_DEFAULT, kNoteGuid, &info), S_OK);
    GUID guid = GUID_NULL;
    EXPECT_EQ(info->GetGuid(&guid), S_OK);
    EXPECT_EQ(guid, kNoteGuid);
    ComPtr<IRecordInfo> none;
    EXPECT_EQ(GetRecordInfoFromGuids(kLibGuid, 2, 9, 0, kNoteGuid, &none), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(GetRecordInfoFromGuids(kLibGuid, 0x10002, 0, 0, kNoteGuid, &none), TYPE_E_LIBNOTREGISTERED)
        << "a version beyond 16 bits must not wrap onto a registered one";
    EXPECT_EQ(GetRecordInfoFromGuids(kLibGuid, 2, 0, 0, kEnumGuid, &none), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_FALSE(none);
}

TEST(RegisterTypeLibDescription, RefusesABrokenDescription) {
    static const GUID brokenGuid = G(12);
    TypeLibDesc broken = Library(&brokenGuid, 1, 0);
    broken.records = nullptr;
    EXPECT_EQ(calyra::RegisterTypeLibDescription(&broken), E_INVALIDARG);
    ComPtr<ITypeLib> none;
    EXPECT_EQ(LoadRegTypeLib(brokenGuid, 1, 0, LOCALE_USER_DEFAULT, &none), TYPE_E_LIBNOTREGISTERED);
}
