// Records, enumerations and identifiers of the type library: the layouts a
// record array is built from, the enumeration values clients store, and the
// identifiers clients and the registry hold.
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

TEST(TypeLibRecords, LibraryHoldsEveryRecordEnumerationInterfaceAndClass) {
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    EXPECT_STREQ(lib.name, "CalyraLib");
    EXPECT_EQ(lib.majorVersion, 1);
    EXPECT_EQ(lib.minorVersion, 0);
    EXPECT_EQ(lib.recordCount, 21u);
    EXPECT_EQ(lib.enumCount, 14u);
    EXPECT_EQ(lib.interfaceCount, 11u);
    EXPECT_EQ(lib.coclassCount, 11u);
    for (size_t i = 0; i < lib.coclassCount; ++i) {
        EXPECT_NE(FindInterfaceDescription(*lib.coclasses[i].iid), nullptr)
            << lib.coclasses[i].name << " implements an interface the library does not describe";
    }
}

// Descriptions drive RecordClear, RecordCopy and record arrays: a field
// outside its record or overlapping the next would corrupt client memory.
TEST(TypeLibRecords, EveryFieldLiesInsideItsRecordInAscendingOrder) {
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    for (size_t i = 0; i < lib.recordCount; ++i) {
        const RecordDesc& record = *lib.records[i];
        SCOPED_TRACE(record.name);
        EXPECT_EQ(FindRecordDescription(*record.guid), &record);
        ASSERT_GT(record.fieldCount, 0u);
        size_t end = 0;
        for (size_t f = 0; f < record.fieldCount; ++f) {
            const FieldDesc& field = record.fields[f];
            size_t size = 0;
            switch (field.vt) {
                case VT_BSTR: size = sizeof(BSTR); break;
                case VT_I4: case VT_UI4: size = 4; break;
                case VT_DATE: size = sizeof(DATE); break;
                case VT_BOOL: size = sizeof(VARIANT_BOOL); break;
                case VT_RECORD:
                    ASSERT_NE(field.record, nullptr) << field.name;
                    size = field.record->size;
                    break;
                default: ADD_FAILURE() << field.name << " has an unexpected type " << field.vt;
            }
            EXPECT_GE(field.offset, end) << field.name << " overlaps the field before it";
            end = field.offset + size;
            EXPECT_LE(end, record.size) << field.name << " runs past the end of the record";
        }
    }
}

struct FieldExpectation {
    std::string_view name;
    size_t offset;
    VARTYPE vt;
};

void ExpectFields(const RecordDesc& record, size_t size, const std::vector<FieldExpectation>& expected) {
    SCOPED_TRACE(record.name);
    EXPECT_EQ(record.size, size);
    ASSERT_EQ(record.fieldCount, expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(record.fields[i].name, expected[i].name) << "field " << i;
        EXPECT_EQ(record.fields[i].offset, expected[i].offset) << expected[i].name;
        EXPECT_EQ(record.fields[i].vt, expected[i].vt) << expected[i].name;
    }
}

#define FIELD(rec, name, vt) {#name, offsetof(rec, name), vt}

TEST(TypeLibRecords, ContactInfoFollowsTheContactColumnOrder) {
    ExpectFields(RecordDescriptionOf<tagContactInfo>(), sizeof(tagContactInfo),
                 {FIELD(tagContactInfo, bstrContactID, VT_BSTR), FIELD(tagContactInfo, eTitle, VT_I4),
                  FIELD(tagContactInfo, eSuffix, VT_I4), FIELD(tagContactInfo, bstrLastName, VT_BSTR),
                  FIELD(tagContactInfo, bstrFirstName, VT_BSTR), FIELD(tagContactInfo, bstrMiddleName, VT_BSTR),
                  FIELD(tagContactInfo, bstrNickName, VT_BSTR), FIELD(tagContactInfo, bstrSpouseName, VT_BSTR),
                  FIELD(tagContactInfo, dtBirthday, VT_DATE), FIELD(tagContactInfo, dtAnniversary, VT_DATE),
                  FIELD(tagContactInfo, bstrCompanyName, VT_BSTR), FIELD(tagContactInfo, bstrDepartment, VT_BSTR),
                  FIELD(tagContactInfo, bstrJobTitle, VT_BSTR), FIELD(tagContactInfo, bstrDescription, VT_BSTR),
                  FIELD(tagContactInfo, bstrRingtone, VT_BSTR), FIELD(tagContactInfo, bstrPhoto, VT_BSTR),
                  FIELD(tagContactInfo, bstrMessageAlert, VT_BSTR), FIELD(tagContactInfo, dtModified, VT_DATE)});
}

TEST(TypeLibRecords, EventInfoFollowsItsDeclarationOrderAndNestsTheRecurrence) {
    ExpectFields(RecordDescriptionOf<tagEventInfo>(), sizeof(tagEventInfo),
                 {FIELD(tagEventInfo, bstrEventID, VT_BSTR), FIELD(tagEventInfo, bstrSubject, VT_BSTR),
                  FIELD(tagEventInfo, bstrDescription, VT_BSTR), FIELD(tagEventInfo, bstrLocation, VT_BSTR),
                  FIELD(tagEventInfo, eCategory, VT_I4), FIELD(tagEventInfo, eStatus, VT_I4),
                  FIELD(tagEventInfo, bstrEventCategoryID, VT_BSTR), FIELD(tagEventInfo, eAvailability, VT_I4),
                  FIELD(tagEventInfo, dtStartDateTime, VT_DATE), FIELD(tagEventInfo, dtEndDateTime, VT_DATE),
                  FIELD(tagEventInfo, bAllDayEvent, VT_I4), FIELD(tagEventInfo, bPrivate, VT_I4),
                  FIELD(tagEventInfo, ePriority, VT_I4), FIELD(tagEventInfo, lReminderTime, VT_I4),
                  FIELD(tagEventInfo, bstrReminderAudio, VT_BSTR), FIELD(tagEventInfo, ulTimeZone, VT_UI4),
                  FIELD(tagEventInfo, stRecurrence, VT_RECORD), FIELD(tagEventInfo, dtOriginalStartTime, VT_DATE),
                  FIELD(tagEventInfo, dtModified, VT_DATE)});
    EXPECT_EQ(RecordDescriptionOf<tagEventInfo>().fields[16].record, &RecordDescriptionOf<tagRecurrence>());
    ExpectFields(RecordDescriptionOf<tagRecurrence>(), sizeof(tagRecurrence),
                 {FIELD(tagRecurrence, ePattern, VT_I4), FIELD(tagRecurrence, Daily, VT_RECORD),
                  FIELD(tagRecurrence, Weekly, VT_RECORD), FIELD(tagRecurrence, Monthly, VT_RECORD),
                  FIELD(tagRecurrence, Yearly, VT_RECORD), FIELD(tagRecurrence, dtStart, VT_DATE),
                  FIELD(tagRecurrence, eEnd, VT_I4), FIELD(tagRecurrence, lEndAfter, VT_I4),
                  FIELD(tagRecurrence, lEndBy, VT_DATE)});
    EXPECT_EQ(RecordDescriptionOf<tagRecurrence>().fields[4].record, &RecordDescriptionOf<tagYearlyRecurrence>());
    EXPECT_EQ(RecordDescriptionOf<tagTaskInfo>().fields[13].record, &RecordDescriptionOf<tagRecurrence>());
}

TEST(TypeLibRecords, RecordTraitsNameTheRecordsOwnIdentifier) {
    EXPECT_TRUE(IsEqualGUID(RecordTraits<tagContactInfo>::guid(), GUID_tagContactInfo));
    EXPECT_EQ(RecordDescriptionOf<tagIM>().guid, &GUID_tagIM);
    EXPECT_STREQ(RecordDescriptionOf<tagMostFrequentlyPlayedPodcast>().name, "tagMostFrequentlyPlayedPodcast");
    EXPECT_EQ(FindRecordDescription(GUID_NULL), nullptr);
    EXPECT_EQ(FindRecordDescription(IID_IContactAccess), nullptr);
}

TEST(TypeLibEnums, ConstantsHaveTheirPublishedValues) {
    struct Expected {
        const GUID* guid;
        std::vector<std::pair<std::string_view, LONG>> values;
    };
    const Expected table[] = {
        {&GUID_enumTitle,
         {{"enumTitle_Mrs", 0},
          {"enumTitle_Ms", 1},
          {"enumTitle_Dr", 2},
          {"enumTitle_Prof", 3},
          {"enumTitle_Miss", 4}}},
        {&GUID_enumSuffix,
         {{"enumSuffix_Sr", 0},
          {"enumSuffix_Jr", 1},
          {"enumSuffix_I", 2},
          {"enumSuffix_II", 3},
          {"enumSuffix_III", 4}}},
        {&GUID_enumLocationType,
         {{"enumLocationType_Home", 0}, {"enumLocationType_Work", 1}, {"enumLocationType_Other", 2}}},
        {&GUID_enumPhoneNumberType,
         {{"enumPhoneNumberType_Mobile", 0},
          {"enumPhoneNumberType_Fax", 1},
          {"enumPhoneNumberType_Pager", 2},
          {"enumPhoneNumberType_Other", 3}}},
        {&GUID_enumEventCategory,
         {{"enumEventCategory_None", 0},          {"enumEventCategory_Personal", 1},
          {"enumEventCategory_Meeting", 2},       {"enumEventCategory_Appointment", 3},
          {"enumEventCategory_Birthday", 4},      {"enumEventCategory_Anniversary", 5},
          {"enumEventCategory_PhoneCall", 6},     {"enumEventCategory_Vacation", 7},
          {"enumEventCategory_Holiday", 8},       {"enumEventCategory_Entertainment", 9},
          {"enumEventCategory_Breakfast", 10},    {"enumEventCategory_Lunch", 11},
          {"enumEventCategory_Dinner", 12},       {"enumEventCategory_Education", 13},
          {"enumEventCategory_Travel", 14},       {"enumEventCategory_Party", 15}}},
        {&GUID_enumAvailability,
         {{"enumAvailability_Free", 0},
          {"enumAvailability_Tentative", 1},
          {"enumAvailability_Busy", 2},
          {"enumAvailability_OutOfOffice", 3}}},
        {&GUID_enumEventPriority,
         {{"enumEventPriority_Low", 0}, {"enumEventPriority_Normal", 1}, {"enumEventPriority_High", 2}}},
        {&GUID_enumEventStatus,
         {{"enumEventStatus_Confirmed", 0}, {"enumEventStatus_Canceled", 1}, {"enumEventStatus_Tentative", 2}}},
        {&GUID_enumRecurrencePattern,
         {{"enumRecurrencePattern_None", 0},
          {"enumRecurrencePattern_Daily", 1},
          {"enumRecurrencePattern_Weekly", 2},
          {"enumRecurrencePattern_Monthly", 3},
          {"enumRecurrencePattern_Yearly", 4}}},
        {&GUID_enumRecurrenceEnd,
         {{"enumRecurrenceEnd_None", 0}, {"enumRecurrenceEnd_EndAfter", 1}, {"enumRecurrenceEnd_EndBy", 2}}},
        {&GUID_enumTaskStatus,
         {{"enumTaskStatus_NotStarted", 0},
          {"enumTaskStatus_InProgress", 1},
          {"enumTaskStatus_Finished", 2},
          {"enumTaskStatus_WaitingForInformation", 3},
          {"enumTaskStatus_Deferred", 4}}},
        {&GUID_enumTaskPriority,
         {{"enumTaskPriority_Low", 0}, {"enumTaskPriority_Normal", 1}, {"enumTaskPriority_High", 2}}},
        {&GUID_enumTaskCategory,
         {{"enumTaskCategory_None", 0},       {"enumTaskCategory_ToDo", 1},       {"enumTaskCategory_Business", 2},
          {"enumTaskCategory_Gifts", 3},      {"enumTaskCategory_Goals", 4},      {"enumTaskCategory_Ideas", 5},
          {"enumTaskCategory_PhoneCalls", 6}, {"enumTaskCategory_Travel", 7},     {"enumTaskCategory_Education", 8},
          {"enumTaskCategory_Accounting", 9}, {"enumTaskCategory_Miscellaneous", 10}}},
        {&GUID_enumSyncGroupOption,
         {{"enumSyncGroupOption_None", 0}, {"enumSyncGroupOption_All", 1}, {"enumSyncGroupOption_Groups", 2}}},
    };
    EXPECT_EQ(CalyraTypeLibDescription().enumCount, std::size(table));
    for (const Expected& e : table) {
        const EnumDesc* desc = FindEnumDescription(*e.guid);
        ASSERT_NE(desc, nullptr);
        SCOPED_TRACE(desc->name);
        ASSERT_EQ(desc->valueCount, e.values.size());
        for (size_t i = 0; i < e.values.size(); ++i) {
            EXPECT_EQ(desc->values[i].name, e.values[i].first);
            EXPECT_EQ(desc->values[i].value, e.values[i].second) << e.values[i].first;
        }
    }
    // The C++ constants come from the same source; spot-check the compiled side.
    static_assert(enumTitle_Dr == 2 && enumPhoneNumberType_Pager == 2 && enumEventCategory_Party == 15);
    static_assert(enumTaskStatus_Deferred == 4 && enumSyncGroupOption_Groups == 2 && enumRecurrenceEnd_EndBy == 2);
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
    EXPECT_EQ(ids.size(), 1u + 21 + 14 + 11 + 11);
    for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_FALSE(IsEqualGUID(*ids[i].second, GUID_NULL)) << ids[i].first;
        for (size_t j = i + 1; j < ids.size(); ++j)
            EXPECT_FALSE(IsEqualGUID(*ids[i].second, *ids[j].second)) << ids[i].first << " and " << ids[j].first;
    }
}

std::u16string Text(const GUID& guid) {
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(guid, text, 39), 39);
    return text;
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
    for (const auto& [guid, text] : pinned) EXPECT_EQ(Text(*guid), text);
}

}  // namespace
}  // namespace calyra
