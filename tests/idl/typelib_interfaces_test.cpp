// The interfaces of the type library as automation clients see them: method
// order (= DISPIDs), parameter directions and automation types.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "idl/automation_type.h"
#include "idl/typelib_description.h"

namespace calyra {
namespace {

// DISPIDs are part of the binary contract; a few are pinned at compile time.
static_assert(static_cast<DISPID>(IContactAccessDispid::ExistContact) == 40);
static_assert(static_cast<DISPID>(IProfileAccessDispid::ModifyProfileByID) == 7);
static_assert(static_cast<DISPID>(IEventAccessDispid::GetExceptionByID) == 17);

struct InterfaceShape {
    const IID* iid;
    std::vector<std::string_view> methods;  // slot order; DISPID = position + 1
};

const std::vector<InterfaceShape>& ExpectedInterfaces() {
    static const std::vector<InterfaceShape> shapes = {
        {&IID_IPimDbAccess,
         {"OpenPimDatabase", "ClosePimDatabase", "IsOpenPimDatabase", "Execute", "Query", "Reset", "IsEOF", "NextRow",
          "GetFieldValue", "FreeResultset"}},
        {&IID_IPimManagement,
         {"OpenPimDatabase", "ClosePimDatabase", "IsOpenPimDatabase", "GetAccessInterface", "SetCurrentProfile",
          "GetProfileAccess", "GetSyncOption", "GetMostFrequentlyPlayedMusic", "GetMostFrequentlyPlayedPodcast",
          "GetContactGroupAccess", "GetContactAccess", "GetEventCategoryAccess", "GetEventAccess", "GetTaskAccess"}},
        {&IID_IProfileAccess,
         {"SetPimDbAccess", "GetNumOfProfiles", "GetProfileByIndex", "GetAllProfiles", "AddProfile",
          "DeleteProfileByID", "ModifyProfileByID"}},
        {&IID_IContactAccess,
         {"SetPimDbAccess", "SetProfileID", "GetNumOfContacts", "GetContactByIndex", "GetAllContacts",
          "GetContactsByContactGroupID", "GetContactGroupsByContactID", "AddContactToContactGroup",
          "RemoveContactFromContactGroup", "AddContact", "DeleteContactByID", "DeleteAllContacts",
          "ModifyContactByID", "GetAddressesByContactID", "AddAddressToContact", "DeleteAddressByID",
          "DeleteAddressesByContactID", "ModifyAddressByID", "GetPhoneNumbersByContactID", "AddPhoneNumberToContact",
          "DeletePhoneNumberByID", "DeletePhoneNumbersByContactID", "ModifyPhoneNumberByID", "GetEmailsByContactID",
          "AddEmailToContact", "DeleteEmailByID", "DeleteEmailsByContactID", "ModifyEmailByID",
          "GetWebUrlsByContactID", "AddWebUrlToContact", "DeleteWebUrlByID", "DeleteWebUrlsByContactID",
          "ModifyWebUrlByID", "GetIMsByContactID", "AddIMToContact", "DeleteIMByID", "DeleteIMsByContactID",
          "ModifyIMByID", "GetContactByID", "ExistContact"}},
        {&IID_IContactGroupAccess,
         {"SetPimDbAccess", "SetProfileID", "GetNumOfContactGroups", "GetContactGroupByIndex", "GetAllContactGroups",
          "AddContactGroup", "DeleteContactGroupByID", "DeleteAllContactGroups", "ModifyContactGroupByID"}},
        {&IID_IEventAccess,
         {"SetPimDbAccess", "SetProfileID", "GetAllEvents", "AddEvent", "DeleteEventByID", "DeleteAllEvents",
          "ModifyEventByID", "GetEventsByEventCategoryID", "DeleteEventsByEventCategoryID", "GetAllSelectedEvents",
          "GetEventByID", "ExistEvent", "GetAllExceptions", "AddException", "DeleteExceptionByID",
          "ModifyExceptionByID", "GetExceptionByID"}},
        {&IID_IEventCategoryAccess,
         {"SetPimDbAccess", "SetProfileID", "GetNumOfEventCategories", "GetEventCategoryByIndex",
          "GetAllEventCategories", "AddEventCategory", "DeleteEventCategoryByID", "ModifyEventCategoryByID"}},
        {&IID_ITaskAccess,
         {"SetPimDbAccess", "SetProfileID", "GetNumOfTasks", "GetTaskByIndex", "GetAllTasks", "AddTask",
          "DeleteTaskByID", "DeleteAllTasks", "ModifyTaskByID", "GetTaskByID", "ExistTask"}},
        {&IID_ISyncOption,
         {"SetPimDbAccess", "SetProfileID", "GetSyncOption", "UpdateSyncOption", "GetSyncAlbums", "AddSyncAlbum",
          "RemoveSyncAlbum", "ClearSyncAlbums", "GetSyncedAlbums", "GetSyncedPodcasts"}},
        {&IID_IMostFrequentlyPlayedMusic,
         {"SetPimDbAccess", "SetProfileID", "QueryMfpmEntry", "AddMfpmEntry", "DeleteMfpmEntryByID",
          "ModifyMfpmEntryByID", "ModifyMfpmEntryByIDEx", "GetMostFrequentlyPlayedMusics",
          "UpdateMostFrequentlyPlayedMusic"}},
        {&IID_IMostFrequentlyPlayedPodcast,
         {"SetPimDbAccess", "SetProfileID", "QueryMfppEntry", "AddMfppEntry", "DeleteMfppEntryByID",
          "ModifyMfppEntryByID", "ModifyMfppEntryByIDEx", "GetMostFrequentlyPlayedPodcasts",
          "UpdateMostFrequentlyPlayedPodcast"}},
    };
    return shapes;
}

TEST(TypeLibInterfaces, EveryInterfaceListsItsMethodsInSlotOrderWithDispidsFromOne) {
    EXPECT_EQ(CalyraTypeLibDescription().interfaceCount, ExpectedInterfaces().size());
    for (const InterfaceShape& shape : ExpectedInterfaces()) {
        const InterfaceDesc* iface = FindInterfaceDescription(*shape.iid);
        ASSERT_NE(iface, nullptr);
        SCOPED_TRACE(iface->name);
        ASSERT_EQ(iface->methodCount, shape.methods.size())
            << "a client calling by DISPID would reach the wrong method";
        for (size_t i = 0; i < shape.methods.size(); ++i) {
            EXPECT_EQ(iface->methods[i].name, shape.methods[i]) << "slot " << i + 1;
            EXPECT_EQ(iface->methods[i].dispid, static_cast<DISPID>(i + 1)) << shape.methods[i];
        }
    }
}

TEST(TypeLibInterfaces, DispidsOfSpotCheckedMethodsMatchTheirPublishedNumbers) {
    struct Case {
        const IID* iid;
        std::string_view method;
        DISPID dispid;
    };
    const Case cases[] = {
        {&IID_IContactAccess, "ExistContact", 40},        {&IID_IContactAccess, "GetContactByID", 39},
        {&IID_IContactAccess, "GetAddressesByContactID", 14}, {&IID_IContactAccess, "ModifyIMByID", 38},
        {&IID_IContactAccess, "AddContact", 10},          {&IID_IProfileAccess, "ModifyProfileByID", 7},
        {&IID_IContactGroupAccess, "ModifyContactGroupByID", 9}, {&IID_IEventAccess, "GetAllSelectedEvents", 10},
        {&IID_IEventCategoryAccess, "AddEventCategory", 6}, {&IID_ITaskAccess, "ExistTask", 11},
        {&IID_ISyncOption, "GetSyncedPodcasts", 10},      {&IID_IMostFrequentlyPlayedMusic, "ModifyMfpmEntryByIDEx", 7},
        {&IID_IMostFrequentlyPlayedPodcast, "UpdateMostFrequentlyPlayedPodcast", 9},
        {&IID_IPimManagement, "GetTaskAccess", 14},
    };
    for (const Case& c : cases) {
        const InterfaceDesc* iface = FindInterfaceDescription(*c.iid);
        ASSERT_NE(iface, nullptr);
        const MethodDesc* method = FindMethodDescription(*iface, c.dispid);
        ASSERT_NE(method, nullptr) << iface->name << " has no DISPID " << c.dispid;
        EXPECT_EQ(method->name, c.method) << iface->name << " DISPID " << c.dispid;
    }
}

TEST(TypeLibInterfaces, MethodLookupRejectsDispidsOutsideTheInterface) {
    const InterfaceDesc& iface = InterfaceDescriptionOf<IProfileAccess>();
    EXPECT_EQ(FindMethodDescription(iface, 0), nullptr);
    EXPECT_EQ(FindMethodDescription(iface, -1), nullptr);
    EXPECT_EQ(FindMethodDescription(iface, 8), nullptr);
    EXPECT_EQ(FindInterfaceDescription(GUID_NULL), nullptr);
    EXPECT_EQ(FindInterfaceDescription(IID_IDispatch), nullptr);
    EXPECT_EQ(&InterfaceDescriptionOf<IContactAccess>(), FindInterfaceDescription(IID_IContactAccess));
}

// Rules every method obeys: plErrorID first as an in/out LONG*, at most one
// RetVal and only as the last parameter, and every record or interface form
// says which record or interface it carries.
TEST(TypeLibInterfaces, EveryMethodFollowsTheCallingConvention) {
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    for (size_t i = 0; i < lib.interfaceCount; ++i) {
        const InterfaceDesc& iface = *lib.interfaces[i];
        for (size_t m = 0; m < iface.methodCount; ++m) {
            const MethodDesc& method = iface.methods[m];
            SCOPED_TRACE(std::string(iface.name) + "::" + method.name);
            ASSERT_GE(method.paramCount, 1u);
            EXPECT_STREQ(method.params[0].name, "plErrorID");
            EXPECT_EQ(method.params[0].dir, ParamDir::InOut);
            EXPECT_EQ(method.params[0].vt, VT_I4 | VT_BYREF);
            for (size_t p = 0; p < method.paramCount; ++p) {
                const ParamDesc& param = method.params[p];
                if (param.dir == ParamDir::RetVal) {
                    EXPECT_EQ(p, method.paramCount - 1) << param.name << " is a retval but not the last parameter";
                    EXPECT_NE(param.vt & VT_BYREF, 0) << param.name;
                }
                if ((param.vt & VT_TYPEMASK) == VT_RECORD) {
                    EXPECT_NE(param.record, nullptr) << param.name;
                }
                if ((param.vt & VT_TYPEMASK) == VT_DISPATCH) {
                    ASSERT_NE(param.iid, nullptr) << param.name;
                    EXPECT_NE(FindInterfaceDescription(*param.iid), nullptr) << param.name;
                }
            }
        }
    }
}

const ParamDesc& Param(const IID& iid, DISPID dispid, size_t index) {
    const MethodDesc* method = FindMethodDescription(*FindInterfaceDescription(iid), dispid);
    EXPECT_NE(method, nullptr);
    EXPECT_LT(index, method->paramCount);
    return method->params[index];
}

TEST(TypeLibInterfaces, ParametersCarryTheirAutomationTypes) {
    struct Case {
        const IID* iid;
        DISPID dispid;
        size_t index;  // 0 is plErrorID
        std::string_view name;
        ParamDir dir;
        VARTYPE vt;
        const RecordDesc* record;
        const IID* paramIid;
    };
    const VARTYPE kRecordRef = VT_RECORD | VT_BYREF;
    const Case cases[] = {
        {&IID_IContactAccess, 1, 1, "pPimDbAccess", ParamDir::In, VT_DISPATCH, nullptr, &IID_IPimDbAccess},
        {&IID_IContactAccess, 5, 1, "plNum", ParamDir::Out, VT_I4 | VT_BYREF, nullptr, nullptr},
        {&IID_IContactAccess, 5, 2, "ppContactInfo", ParamDir::RetVal, kRecordArrayVt,
         &RecordDescriptionOf<tagContactInfo>(), nullptr},
        {&IID_IContactAccess, 7, 3, "ppContactGroupInfo", ParamDir::RetVal, kRecordArrayVt,
         &RecordDescriptionOf<tagContactGroupInfo>(), nullptr},
        {&IID_IContactAccess, 8, 3, "bMultiple", ParamDir::In, VT_BOOL, nullptr, nullptr},
        {&IID_IContactAccess, 10, 1, "pContactInfo", ParamDir::In, kRecordRef, &RecordDescriptionOf<tagContactInfo>(),
         nullptr},
        {&IID_IContactAccess, 10, 2, "pbstrContactID", ParamDir::RetVal, VT_BSTR | VT_BYREF, nullptr, nullptr},
        {&IID_IContactAccess, 29, 3, "ppWebUrl", ParamDir::RetVal, kRecordArrayVt, &RecordDescriptionOf<tagWebUrl>(),
         nullptr},
        {&IID_IContactAccess, 40, 2, "pvbFound", ParamDir::RetVal, VT_BOOL | VT_BYREF, nullptr, nullptr},
        {&IID_IProfileAccess, 3, 1, "lIndex", ParamDir::In, VT_I4, nullptr, nullptr},
        {&IID_IProfileAccess, 3, 2, "pProfileInfo", ParamDir::RetVal, kRecordRef,
         &RecordDescriptionOf<tagProfileInfo>(), nullptr},
        {&IID_IEventAccess, 8, 2, "dtStartDateTime", ParamDir::In, VT_DATE, nullptr, nullptr},
        {&IID_IEventAccess, 14, 3, "pbstrExceptionID", ParamDir::RetVal, VT_BSTR | VT_BYREF, nullptr, nullptr},
        {&IID_IMostFrequentlyPlayedMusic, 3, 1, "pEntry", ParamDir::InOut, kRecordRef,
         &RecordDescriptionOf<tagMostFrequentlyPlayedMusic>(), nullptr},
        {&IID_ISyncOption, 3, 2, "pSyncOptions", ParamDir::RetVal, kRecordRef, &RecordDescriptionOf<tagSyncOptions>(),
         nullptr},
        {&IID_IPimManagement, 4, 1, "riid", ParamDir::In, VT_CLSID | VT_BYREF, nullptr, nullptr},
        {&IID_IPimManagement, 4, 2, "ppvObject", ParamDir::RetVal, VT_UNKNOWN | VT_BYREF, nullptr, nullptr},
        {&IID_IPimManagement, 11, 1, "ppIContactAccess", ParamDir::RetVal, VT_DISPATCH | VT_BYREF, nullptr,
         &IID_IContactAccess},
        {&IID_IPimDbAccess, 5, 4, "pVM", ParamDir::InOut, VT_I8 | VT_BYREF, nullptr, nullptr},
        {&IID_IPimDbAccess, 9, 3, "lpszFieldValue", ParamDir::In, VT_UI2 | VT_BYREF, nullptr, nullptr},
        {&IID_IPimDbAccess, 9, 4, "lSize", ParamDir::In, VT_UI4, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const ParamDesc& param = Param(*c.iid, c.dispid, c.index);
        SCOPED_TRACE(std::string(FindInterfaceDescription(*c.iid)->name) + " DISPID " + std::to_string(c.dispid) +
                     " " + std::string(c.name));
        EXPECT_EQ(param.name, c.name);
        EXPECT_EQ(param.dir, c.dir);
        EXPECT_EQ(param.vt, c.vt);
        EXPECT_EQ(param.record, c.record);
        if (c.paramIid) {
            ASSERT_NE(param.iid, nullptr);
            EXPECT_TRUE(IsEqualIID(*param.iid, *c.paramIid));
        } else {
            EXPECT_EQ(param.iid, nullptr);
        }
    }
}

}  // namespace
}  // namespace calyra
