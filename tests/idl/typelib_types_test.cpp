// Records and identifiers of the type library: the layouts a record array
// is built from, and the identifiers clients and the registry hold. Field
// order and enumeration values, and with them which types the library
// holds, are pinned in typelib_shape_test.cpp; its classes are registered
// and created in tests/server.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "idl/automation_type.h"
#include "idl/typelib_description.h"
#include "platform/bstr.h"

namespace calyra {
namespace {

// The recurrence rule has no pointers, so its Windows layout is the same on
// every platform: a client's tagRecurrence must match ours byte for byte.
static_assert(sizeof(tagRecurrence) == 120);
static_assert(offsetof(tagRecurrence, Yearly) == 60 && offsetof(tagRecurrence, dtStart) == 96);
static_assert(kIsRecordType<tagEventInfo> && !kIsRecordType<enumTitle> && !kIsRecordType<BSTR>);

// That every field lies inside its record without overlapping another is
// checked where descriptions are used: the module registers its library
// only when every record description passes (tests/server), and record infos
// refuse any other (tests/platform).

// The look-ups by which the sweeps and the dispatch fuzz target find a
// description; no other identifier names one.
TEST(TypeLibIdentifiers, EveryInterfaceMethodAndRecordIsFoundByItsIdentifier) {
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    for (size_t i = 0; i < lib.interfaceCount; ++i) {
        const InterfaceDesc& iface = *lib.interfaces[i];
        EXPECT_EQ(FindInterfaceDescription(*iface.iid), &iface);
        for (size_t m = 0; m < iface.methodCount; ++m)
            EXPECT_EQ(FindMethodDescription(iface, iface.methods[m].dispid), &iface.methods[m])
                << iface.methods[m].name;
        EXPECT_EQ(FindMethodDescription(iface, 0), nullptr);
        EXPECT_EQ(FindMethodDescription(iface, static_cast<DISPID>(iface.methodCount + 1)), nullptr);
    }
    for (size_t i = 0; i < lib.recordCount; ++i)
        EXPECT_EQ(FindRecordDescription(*lib.records[i]->guid), lib.records[i]) << lib.records[i]->name;
    EXPECT_EQ(FindInterfaceDescription(IID_IDispatch), nullptr);
    EXPECT_EQ(FindRecordDescription(GUID_NULL), nullptr);
    EXPECT_EQ(FindRecordDescription(IID_IContactAccess), nullptr) << "an interface identifier named a record";
}

std::vector<std::pair<std::string, const GUID*>> AllIdentifiers() {
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    std::vector<std::pair<std::string, const GUID*>> ids{{"LIBID", lib.libid}};
    for (size_t i = 0; i < lib.recordCount; ++i) ids.emplace_back(lib.records[i]->name, lib.records[i]->guid);
    for (size_t i = 0; i < lib.enumCount; ++i) ids.emplace_back(lib.enums[i]->name, lib.enums[i]->guid);
    for (size_t i = 0; i < lib.interfaceCount; ++i) ids.emplace_back(lib.interfaces[i]->name, lib.interfaces[i]->iid);
    for (size_t i = 0; i < lib.coclassCount; ++i)
        ids.emplace_back(std::string("CLSID_") + lib.coclasses[i].name, lib.coclasses[i].clsid);
    return ids;
}

TEST(TypeLibIdentifiers, EveryIdentifierIsNonNullAndUnique) {
    const auto ids = AllIdentifiers();
    for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_FALSE(IsEqualGUID(*ids[i].second, GUID_NULL)) << ids[i].first;
        for (size_t j = i + 1; j < ids.size(); ++j)
            EXPECT_FALSE(IsEqualGUID(*ids[i].second, *ids[j].second)) << ids[i].first << " and " << ids[j].first;
    }
}

// Registries and compiled clients hold these values: changing one breaks them.
TEST(TypeLibIdentifiers, FrozenValuesStayPinned) {
    const std::pair<const GUID*, std::u16string_view> pinned[] = {
        {&LIBID_CalyraLib, u"{00B9BD62-B44F-4D54-872C-E953575C0177}"},
        {&IID_IPimDbAccess, u"{9CF6E333-12D0-4D52-B217-EFA96DECD2A4}"},
        {&IID_IPimManagement, u"{6680FC77-55F1-444C-934B-CDADD9A8349B}"},
        {&IID_IContactAccess, u"{74A0C195-A425-4C54-99EC-1A83410B34F7}"},
        {&CLSID_PimManagement, u"{4B0CC126-5197-4679-94F9-8BFFD88D2DCA}"},
        {&CLSID_MostFrequentlyPlayedPodcast, u"{E86990F3-8B4E-4672-968D-247EDDC7B1F2}"},
        {&GUID_tagContactInfo, u"{599B41CD-F786-49C5-B828-596668952F1E}"},
        {&GUID_tagEventInfo, u"{79207DA5-1338-410A-AB52-3A73FD290B09}"},
        {&GUID_enumTitle, u"{CA632B7C-D16D-4A26-9D8C-B7CC46669953}"},
    };
    for (const auto& [guid, text] : pinned) {
        OLECHAR written[39];
        EXPECT_EQ(StringFromGUID2(*guid, written, 39), 39);
        EXPECT_EQ(AsU16(written), text);
    }
}

}  // namespace
}  // namespace calyra
