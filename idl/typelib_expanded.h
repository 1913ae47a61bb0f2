// GENERATED from idl/typelib.def by idl/expand_typelib.cpp; do not edit. Refresh it with
//   cmake --build build --target calyra_idl_expanded
// The Calyra type library written out as plain C++ for reading: what calyra_idl.h
// declares by expanding typelib.def, in the same order, without the traits and checks.
// Code includes idl/calyra_idl.h, never this file. DISPIDs count from 1 in slot order.
#pragma once

#include "platform/bstr.h"
#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/safearray.h"
#include "platform/types.h"
#include "platform/unknown.h"

// ---- Library -----------------------------------------------------------------
// library CalyraLib, version 1.0
extern "C" const GUID LIBID_CalyraLib;  // {00B9BD62-B44F-4D54-872C-E953575C0177}

// ---- Error IDs ---------------------------------------------------------------
constexpr LONG PIMERR_UNEXPECTED = 0x5001;
constexpr LONG PIMERR_INVALID_ARGUMENT = 0x5002;
constexpr LONG PIMERR_OPEN_FAILED = 0x5003;
constexpr LONG PIMERR_NOT_CONNECTED = 0x5004;
constexpr LONG PIMERR_EXECUTE_FAILED = 0x5005;
constexpr LONG PIMERR_QUERY_FAILED = 0x5006;
constexpr LONG PIMERR_FREE_FAILED = 0x5007;
constexpr LONG PIMERR_CREATE_FAILED = 0x5008;

// ---- Interfaces, declared ahead ---------------------------------------------
struct IPimDbAccess;
struct IPimManagement;
struct IProfileAccess;
struct IContactAccess;
struct IContactGroupAccess;
struct IEventAccess;
struct IEventCategoryAccess;
struct ITaskAccess;
struct ISyncOption;
struct IMostFrequentlyPlayedMusic;
struct IMostFrequentlyPlayedPodcast;

// ---- Enumerations ------------------------------------------------------------
extern "C" const GUID GUID_enumTitle;  // {CA632B7C-D16D-4A26-9D8C-B7CC46669953}
enum enumTitle : LONG {
    enumTitle_Mrs = 0,
    enumTitle_Ms = 1,
    enumTitle_Dr = 2,
    enumTitle_Prof = 3,
    enumTitle_Miss = 4,
};

extern "C" const GUID GUID_enumSuffix;  // {38E6740C-9159-4FB0-9FA9-8120E98EFA7E}
enum enumSuffix : LONG {
    enumSuffix_Sr = 0,
    enumSuffix_Jr = 1,
    enumSuffix_I = 2,
    enumSuffix_II = 3,
    enumSuffix_III = 4,
};

extern "C" const GUID GUID_enumLocationType;  // {EC6EAAA4-8806-467F-AC5A-4086CFCE3432}
enum enumLocationType : LONG {
    enumLocationType_Home = 0,
    enumLocationType_Work = 1,
    enumLocationType_Other = 2,
};

extern "C" const GUID GUID_enumPhoneNumberType;  // {03AF4C9D-EC9D-4014-BF17-A699CE110BDC}
enum enumPhoneNumberType : LONG {
    enumPhoneNumberType_Mobile = 0,
    enumPhoneNumberType_Fax = 1,
    enumPhoneNumberType_Pager = 2,
    enumPhoneNumberType_Other = 3,
};

extern "C" const GUID GUID_enumEventCategory;  // {86C487DC-5F75-407D-8539-996F2D8754E1}
enum enumEventCategory : LONG {
    enumEventCategory_None = 0,
    enumEventCategory_Personal = 1,
    enumEventCategory_Meeting = 2,
    enumEventCategory_Appointment = 3,
    enumEventCategory_Birthday = 4,
    enumEventCategory_Anniversary = 5,
    enumEventCategory_PhoneCall = 6,
    enumEventCategory_Vacation = 7,
    enumEventCategory_Holiday = 8,
    enumEventCategory_Entertainment = 9,
    enumEventCategory_Breakfast = 10,
    enumEventCategory_Lunch = 11,
    enumEventCategory_Dinner = 12,
    enumEventCategory_Education = 13,
    enumEventCategory_Travel = 14,
    enumEventCategory_Party = 15,
};

extern "C" const GUID GUID_enumAvailability;  // {87F308F1-EB8D-489A-898F-AB8CD896052A}
enum enumAvailability : LONG {
    enumAvailability_Free = 0,
    enumAvailability_Tentative = 1,
    enumAvailability_Busy = 2,
    enumAvailability_OutOfOffice = 3,
};

extern "C" const GUID GUID_enumEventPriority;  // {8EA41A5F-E491-4DC2-8433-43F5A9F52A5A}
enum enumEventPriority : LONG {
    enumEventPriority_Low = 0,
    enumEventPriority_Normal = 1,
    enumEventPriority_High = 2,
};

extern "C" const GUID GUID_enumEventStatus;  // {DA307B11-E69D-48BE-8A0C-0925EB4239D5}
enum enumEventStatus : LONG {
    enumEventStatus_Confirmed = 0,
    enumEventStatus_Canceled = 1,
    enumEventStatus_Tentative = 2,
};

extern "C" const GUID GUID_enumRecurrencePattern;  // {A7DDA18D-6503-4F37-9B8B-E8606963F14D}
enum enumRecurrencePattern : LONG {
    enumRecurrencePattern_None = 0,
    enumRecurrencePattern_Daily = 1,
    enumRecurrencePattern_Weekly = 2,
    enumRecurrencePattern_Monthly = 3,
    enumRecurrencePattern_Yearly = 4,
};

extern "C" const GUID GUID_enumRecurrenceEnd;  // {F4CB9EAC-11C4-4A89-BEAE-355A63055958}
enum enumRecurrenceEnd : LONG {
    enumRecurrenceEnd_None = 0,
    enumRecurrenceEnd_EndAfter = 1,
    enumRecurrenceEnd_EndBy = 2,
};

extern "C" const GUID GUID_enumTaskStatus;  // {6703D84A-CE77-4D34-B610-34D2A479C0E4}
enum enumTaskStatus : LONG {
    enumTaskStatus_NotStarted = 0,
    enumTaskStatus_InProgress = 1,
    enumTaskStatus_Finished = 2,
    enumTaskStatus_WaitingForInformation = 3,
    enumTaskStatus_Deferred = 4,
};

extern "C" const GUID GUID_enumTaskPriority;  // {051712B2-5A86-4E98-A244-552BF3CDA3F7}
enum enumTaskPriority : LONG {
    enumTaskPriority_Low = 0,
    enumTaskPriority_Normal = 1,
    enumTaskPriority_High = 2,
};

extern "C" const GUID GUID_enumTaskCategory;  // {9F9CD226-ACCE-4947-B054-55B1ADCA32AF}
enum enumTaskCategory : LONG {
    enumTaskCategory_None = 0,
    enumTaskCategory_ToDo = 1,
    enumTaskCategory_Business = 2,
    enumTaskCategory_Gifts = 3,
    enumTaskCategory_Goals = 4,
    enumTaskCategory_Ideas = 5,
    enumTaskCategory_PhoneCalls = 6,
    enumTaskCategory_Travel = 7,
    enumTaskCategory_Education = 8,
    enumTaskCategory_Accounting = 9,
    enumTaskCategory_Miscellaneous = 10,
};

extern "C" const GUID GUID_enumSyncGroupOption;  // {39614D3F-A62F-4DF4-A379-27CC17B4B1CC}
enum enumSyncGroupOption : LONG {
    enumSyncGroupOption_None = 0,
    enumSyncGroupOption_All = 1,
    enumSyncGroupOption_Groups = 2,
};

// ---- Records -----------------------------------------------------------------
extern "C" const GUID GUID_tagProfileInfo;  // {EA57B1FA-162B-4AFB-929A-ED28329E47E7}
struct tagProfileInfo {
    BSTR bstrProfileID;
    BSTR bstrIMEI;
    BSTR bstrSN;
    BSTR bstrHXRID;
    BSTR bstrModel;
    BSTR bstrName;
};

extern "C" const GUID GUID_tagContactInfo;  // {599B41CD-F786-49C5-B828-596668952F1E}
struct tagContactInfo {
    BSTR bstrContactID;
    enumTitle eTitle;
    enumSuffix eSuffix;
    BSTR bstrLastName;
    BSTR bstrFirstName;
    BSTR bstrMiddleName;
    BSTR bstrNickName;
    BSTR bstrSpouseName;
    DATE dtBirthday;
    DATE dtAnniversary;
    BSTR bstrCompanyName;
    BSTR bstrDepartment;
    BSTR bstrJobTitle;
    BSTR bstrDescription;
    BSTR bstrRingtone;
    BSTR bstrPhoto;
    BSTR bstrMessageAlert;
    DATE dtModified;
};

extern "C" const GUID GUID_tagAddress;  // {17D12A8F-6358-4BBD-87D2-35085B74C34E}
struct tagAddress {
    BSTR bstrAddressID;
    enumLocationType eLocationType;
    BSTR bstrCountry;
    BSTR bstrState;
    BSTR bstrCity;
    BSTR bstrStreet;
    BSTR bstrZipCode;
    LONG bPrimary;
};

extern "C" const GUID GUID_tagPhoneNumber;  // {B8BF29CC-AB88-47BB-90A1-97E4265A8E58}
struct tagPhoneNumber {
    BSTR bstrPhoneNumberID;
    enumLocationType eLocationType;
    enumPhoneNumberType ePhoneNumberType;
    BSTR bstrPhoneNumber;
    LONG bPrimary;
};

extern "C" const GUID GUID_tagEmail;  // {B6631CF2-FF78-4A12-920A-795E21573799}
struct tagEmail {
    BSTR bstrEmailID;
    enumLocationType eLocationType;
    BSTR bstrEmail;
    LONG bPrimary;
};

extern "C" const GUID GUID_tagWebUrl;  // {445F04F7-F409-4642-99B3-2607CD130705}
struct tagWebUrl {
    BSTR bstrWebUrlID;
    enumLocationType eLocationType;
    BSTR bstrWebUrl;
    LONG bPrimary;
};

extern "C" const GUID GUID_tagIM;  // {7FA035BA-3044-4C7A-B14B-9A0F4A9D05E4}
struct tagIM {
    BSTR bstrIMID;
    enumLocationType eLocationType;
    BSTR bstrAddress;
    BSTR bstrProtocol;
    LONG bPrimary;
};

extern "C" const GUID GUID_tagContactGroupInfo;  // {FCC4FD61-D4E8-4A28-9AB0-DD9EF4A3C67B}
struct tagContactGroupInfo {
    BSTR bstrContactGroupID;
    BSTR bstrContactGroupName;
    BSTR bstrContactGroupPhoto;
    BSTR bstrContactGroupRingtone;
    LONG bToBeSynced;
    DATE dtModified;
};

extern "C" const GUID GUID_tagDailyRecurrence;  // {87D53260-82F1-496D-BE19-D4DEDC986179}
struct tagDailyRecurrence {
    LONG lOption;
    LONG lEveryXDays;
    LONG lXUnitOfNewTask;
};

extern "C" const GUID GUID_tagWeeklyRecurrence;  // {9694D284-1AB2-4C49-B1FB-2980463F7BA4}
struct tagWeeklyRecurrence {
    LONG lOption;
    LONG lEveryXWeeks;
    LONG lDays;
    LONG lXUnitOfNewTask;
};

extern "C" const GUID GUID_tagMonthlyRecurrence;  // {84362458-D6C5-4AA5-B467-9B50083E98CA}
struct tagMonthlyRecurrence {
    LONG lOption;
    LONG lDayM;
    LONG lEveryXMonths;
    LONG lTheNth;
    LONG lDayN;
    LONG lEveryYMonths;
    LONG lXUnitOfNewTask;
};

extern "C" const GUID GUID_tagYearlyRecurrence;  // {574EEE82-1EC9-4222-AB7A-08EC3A0AB461}
struct tagYearlyRecurrence {
    LONG lOption;
    LONG lEveryXYears;
    LONG lEveryMonthM;
    LONG lDayM;
    LONG lTheNth;
    LONG lDayN;
    LONG lOfMonthN;
    LONG lXUnitOfNewTask;
};

extern "C" const GUID GUID_tagRecurrence;  // {027DEC61-BA82-4D91-8AD7-CD929633BAF1}
struct tagRecurrence {
    enumRecurrencePattern ePattern;
    tagDailyRecurrence Daily;
    tagWeeklyRecurrence Weekly;
    tagMonthlyRecurrence Monthly;
    tagYearlyRecurrence Yearly;
    DATE dtStart;
    enumRecurrenceEnd eEnd;
    LONG lEndAfter;
    DATE lEndBy;
};

extern "C" const GUID GUID_tagEventInfo;  // {79207DA5-1338-410A-AB52-3A73FD290B09}
struct tagEventInfo {
    BSTR bstrEventID;
    BSTR bstrSubject;
    BSTR bstrDescription;
    BSTR bstrLocation;
    enumEventCategory eCategory;
    enumEventStatus eStatus;
    BSTR bstrEventCategoryID;
    enumAvailability eAvailability;
    DATE dtStartDateTime;
    DATE dtEndDateTime;
    LONG bAllDayEvent;
    LONG bPrivate;
    enumEventPriority ePriority;
    LONG lReminderTime;
    BSTR bstrReminderAudio;
    ULONG ulTimeZone;
    tagRecurrence stRecurrence;
    DATE dtOriginalStartTime;
    DATE dtModified;
};

extern "C" const GUID GUID_tagEventCategoryInfo;  // {1DEBE1AA-3D0C-4BA0-A6B8-F88B9A82FF85}
struct tagEventCategoryInfo {
    BSTR bstrEventCategoryID;
    BSTR bstrEventCategoryName;
    ULONG ulColor;
    LONG bToBeSynced;
    LONG bIsSelected;
    DATE dtModified;
};

extern "C" const GUID GUID_tagTaskInfo;  // {23625831-2ECA-497A-8379-BD8C490216CD}
struct tagTaskInfo {
    BSTR bstrTaskID;
    BSTR bstrSubject;
    enumTaskStatus eTaskStatus;
    ULONG ulCompletePercent;
    DATE dtStartDate;
    DATE dtEndDate;
    enumTaskPriority eTaskPriority;
    LONG bPrivate;
    enumTaskCategory eTaskCategory;
    BSTR bstrDescription;
    LONG lReminderTime;
    BSTR bstrReminderAudio;
    DATE dtDateCompleted;
    tagRecurrence stRecurrence;
    DATE dtCreated;
    DATE dtModified;
};

extern "C" const GUID GUID_tagSyncOptions;  // {01AFA221-5547-48E8-AA0F-96EFED304AC6}
struct tagSyncOptions {
    LONG lType;
    enumSyncGroupOption eGroupOption;
    LONG lOptionEx0;
    LONG lOptionEx1;
    LONG lOptionEx2;
    LONG lOptionEx3;
    LONG lOptionEx4;
    LONG lOptionEx5;
    LONG lOptionEx6;
    LONG lOptionEx7;
};

extern "C" const GUID GUID_tagSyncAlbumItem;  // {D9A88835-201D-4404-9596-C842D4E2FD10}
struct tagSyncAlbumItem {
    LONG lType;
    BSTR bstrAlbumName;
    LONG lOption;
};

extern "C" const GUID GUID_tagSyncedAlbumItem;  // {06996FDE-A7A0-483C-B53F-57EA2EBBB551}
struct tagSyncedAlbumItem {
    BSTR bstrName;
    BSTR bstrPathOnPC;
    BSTR bstrPathOnDevice;
    BSTR bstrLocationOnPC;
    BSTR bstrLocationOnDevice;
    BSTR bstrFilter;
    LONG bRecursive;
    LONG lType;
    DATE dtSyncAnchor;
};

extern "C" const GUID GUID_tagMostFrequentlyPlayedMusic;  // {46FBDDAF-ED89-410C-B362-CBE95F560EFE}
struct tagMostFrequentlyPlayedMusic {
    BSTR bstrEntryID;
    BSTR bstrAlbum;
    BSTR bstrTitle;
    BSTR bstrArtist;
    BSTR bstrFullPath;
    LONG lCounter;
    DATE dtLastPlayed;
};

extern "C" const GUID GUID_tagMostFrequentlyPlayedPodcast;  // {A8E2D271-A784-4CE8-A6D0-07EDAEB28A9A}
struct tagMostFrequentlyPlayedPodcast {
    BSTR bstrEntryID;
    BSTR bstrAlbum;
    BSTR bstrEpisode;
    BSTR bstrTime;
    BSTR bstrReleaseDate;
    BSTR bstrDescription;
    BSTR bstrFullPath;
    LONG lCounter;
    DATE dtLastPlayed;
};

// ---- Interfaces --------------------------------------------------------------
extern "C" const IID IID_IPimDbAccess;  // {9CF6E333-12D0-4D52-B217-EFA96DECD2A4}
struct IPimDbAccess : IDispatch {
    STDMETHOD(OpenPimDatabase)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrUser, /*[in]*/ BSTR bstrPwd,
            /*[in]*/ BSTR bstrDbFile) = 0;  // DISPID 1
    STDMETHOD(ClosePimDatabase)(/*[in, out]*/ LONG* plErrorID) = 0;  // DISPID 2
    STDMETHOD(IsOpenPimDatabase)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ VARIANT_BOOL* pvbOpen) = 0;  // DISPID 3
    STDMETHOD(Execute)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrSQL,
            /*[out, retval]*/ BSTR* pbstrID) = 0;  // DISPID 4
    STDMETHOD(Query)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrSQL, /*[out]*/ LONG* plRow,
            /*[out]*/ LONG* plColumn, /*[in, out]*/ LONGLONG* pVM) = 0;  // DISPID 5
    STDMETHOD(Reset)(/*[in, out]*/ LONG* plErrorID, /*[in, out]*/ LONGLONG* pVM) = 0;  // DISPID 6
    STDMETHOD(IsEOF)(/*[in, out]*/ LONG* plErrorID, /*[in, out]*/ LONGLONG* pVM,
            /*[out, retval]*/ VARIANT_BOOL* pvbEOF) = 0;  // DISPID 7
    STDMETHOD(NextRow)(/*[in, out]*/ LONG* plErrorID, /*[in, out]*/ LONGLONG* pVM) = 0;  // DISPID 8
    STDMETHOD(GetFieldValue)(/*[in, out]*/ LONG* plErrorID, /*[in, out]*/ LONGLONG* pVM, /*[in]*/ LONG lField,
            /*[in]*/ USHORT* lpszFieldValue, /*[in]*/ ULONG lSize) = 0;  // DISPID 9
    STDMETHOD(FreeResultset)(/*[in, out]*/ LONG* plErrorID, /*[in, out]*/ LONGLONG* pVM) = 0;  // DISPID 10

protected:
    ~IPimDbAccess() = default;
};

extern "C" const IID IID_IPimManagement;  // {6680FC77-55F1-444C-934B-CDADD9A8349B}
struct IPimManagement : IDispatch {
    STDMETHOD(OpenPimDatabase)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrUser, /*[in]*/ BSTR bstrPwd,
            /*[in]*/ BSTR bstrDbFile) = 0;  // DISPID 1
    STDMETHOD(ClosePimDatabase)(/*[in, out]*/ LONG* plErrorID) = 0;  // DISPID 2
    STDMETHOD(IsOpenPimDatabase)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ VARIANT_BOOL* pvbOpen) = 0;  // DISPID 3
    STDMETHOD(GetAccessInterface)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ GUID* riid,
            /*[out, retval]*/ void** ppvObject) = 0;  // DISPID 4
    STDMETHOD(SetCurrentProfile)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 5
    STDMETHOD(GetProfileAccess)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ IProfileAccess** ppIProfileAccess) = 0;  // DISPID 6
    STDMETHOD(GetSyncOption)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ ISyncOption** ppISyncOption) = 0;  // DISPID 7
    STDMETHOD(GetMostFrequentlyPlayedMusic)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ IMostFrequentlyPlayedMusic** ppIMostFrequentlyPlayedMusic) = 0;  // DISPID 8
    STDMETHOD(GetMostFrequentlyPlayedPodcast)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ IMostFrequentlyPlayedPodcast** ppIMostFrequentlyPlayedPodcast) = 0;  // DISPID 9
    STDMETHOD(GetContactGroupAccess)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ IContactGroupAccess** ppIContactGroupAccess) = 0;  // DISPID 10
    STDMETHOD(GetContactAccess)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ IContactAccess** ppIContactAccess) = 0;  // DISPID 11
    STDMETHOD(GetEventCategoryAccess)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ IEventCategoryAccess** ppIEventCategoryAccess) = 0;  // DISPID 12
    STDMETHOD(GetEventAccess)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ IEventAccess** ppIEventAccess) = 0;  // DISPID 13
    STDMETHOD(GetTaskAccess)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ ITaskAccess** ppITaskAccess) = 0;  // DISPID 14

protected:
    ~IPimManagement() = default;
};

extern "C" const IID IID_IProfileAccess;  // {FD0D1A05-BA25-4B3E-BE9B-B50F06755DEA}
struct IProfileAccess : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(GetNumOfProfiles)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ LONG* plNumOfProfiles) = 0;  // DISPID 2
    STDMETHOD(GetProfileByIndex)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lIndex,
            /*[out, retval]*/ tagProfileInfo* pProfileInfo) = 0;  // DISPID 3
    STDMETHOD(GetAllProfiles)(/*[in, out]*/ LONG* plErrorID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagProfileInfo)]*/ SAFEARRAY** ppProfileInfo) = 0;  // DISPID 4
    STDMETHOD(AddProfile)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ tagProfileInfo* pProfileInfo,
            /*[out, retval]*/ BSTR* pbstrProfileID) = 0;  // DISPID 5
    STDMETHOD(DeleteProfileByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 6
    STDMETHOD(ModifyProfileByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID,
            /*[in]*/ tagProfileInfo* pProfileInfo) = 0;  // DISPID 7

protected:
    ~IProfileAccess() = default;
};

extern "C" const IID IID_IContactAccess;  // {74A0C195-A425-4C54-99EC-1A83410B34F7}
struct IContactAccess : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(SetProfileID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 2
    STDMETHOD(GetNumOfContacts)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ LONG* plNumOfContacts) = 0;  // DISPID 3
    STDMETHOD(GetContactByIndex)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lIndex,
            /*[out, retval]*/ tagContactInfo* pContactInfo) = 0;  // DISPID 4
    STDMETHOD(GetAllContacts)(/*[in, out]*/ LONG* plErrorID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagContactInfo)]*/ SAFEARRAY** ppContactInfo) = 0;  // DISPID 5
    STDMETHOD(GetContactsByContactGroupID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactGroupID,
            /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagContactInfo)]*/ SAFEARRAY** ppContactInfo) = 0;  // DISPID 6
    STDMETHOD(GetContactGroupsByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagContactGroupInfo)]*/ SAFEARRAY** ppContactGroupInfo) = 0;  // DISPID 7
    STDMETHOD(AddContactToContactGroup)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[in]*/ BSTR bstrContactGroupID, /*[in]*/ VARIANT_BOOL bMultiple) = 0;  // DISPID 8
    STDMETHOD(RemoveContactFromContactGroup)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[in]*/ BSTR bstrContactGroupID) = 0;  // DISPID 9
    STDMETHOD(AddContact)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ tagContactInfo* pContactInfo,
            /*[out, retval]*/ BSTR* pbstrContactID) = 0;  // DISPID 10
    STDMETHOD(DeleteContactByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID) = 0;  // DISPID 11
    STDMETHOD(DeleteAllContacts)(/*[in, out]*/ LONG* plErrorID) = 0;  // DISPID 12
    STDMETHOD(ModifyContactByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[in]*/ tagContactInfo* pContactInfo) = 0;  // DISPID 13
    STDMETHOD(GetAddressesByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[out]*/ LONG* plNum, /*[out, retval, SAFEARRAY(tagAddress)]*/ SAFEARRAY** ppAddresses) = 0;  // DISPID 14
    STDMETHOD(AddAddressToContact)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[in]*/ tagAddress* pAddress, /*[out, retval]*/ BSTR* pbstrAddressID) = 0;  // DISPID 15
    STDMETHOD(DeleteAddressByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrAddressID) = 0;  // DISPID 16
    STDMETHOD(DeleteAddressesByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID) = 0;  // DISPID 17
    STDMETHOD(ModifyAddressByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrAddressID,
            /*[in]*/ tagAddress* pAddress) = 0;  // DISPID 18
    STDMETHOD(GetPhoneNumbersByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagPhoneNumber)]*/ SAFEARRAY** ppPhoneNumber) = 0;  // DISPID 19
    STDMETHOD(AddPhoneNumberToContact)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[in]*/ tagPhoneNumber* pPhoneNumber, /*[out, retval]*/ BSTR* pbstrPhoneNumberID) = 0;  // DISPID 20
    STDMETHOD(DeletePhoneNumberByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrPhoneNumberID) = 0;  // DISPID 21
    STDMETHOD(DeletePhoneNumbersByContactID)(/*[in, out]*/ LONG* plErrorID,
            /*[in]*/ BSTR bstrContactID) = 0;  // DISPID 22
    STDMETHOD(ModifyPhoneNumberByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrPhoneNumberID,
            /*[in]*/ tagPhoneNumber* pPhoneNumber) = 0;  // DISPID 23
    STDMETHOD(GetEmailsByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagEmail)]*/ SAFEARRAY** ppEmail) = 0;  // DISPID 24
    STDMETHOD(AddEmailToContact)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID, /*[in]*/ tagEmail* pEmail,
            /*[out, retval]*/ BSTR* pbstrEmailID) = 0;  // DISPID 25
    STDMETHOD(DeleteEmailByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEmailID) = 0;  // DISPID 26
    STDMETHOD(DeleteEmailsByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID) = 0;  // DISPID 27
    STDMETHOD(ModifyEmailByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEmailID,
            /*[in]*/ tagEmail* pEmail) = 0;  // DISPID 28
    STDMETHOD(GetWebUrlsByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagWebUrl)]*/ SAFEARRAY** ppWebUrl) = 0;  // DISPID 29
    STDMETHOD(AddWebUrlToContact)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[in]*/ tagWebUrl* pWebUrl, /*[out, retval]*/ BSTR* pbstrWebUrlID) = 0;  // DISPID 30
    STDMETHOD(DeleteWebUrlByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrWebUrlID) = 0;  // DISPID 31
    STDMETHOD(DeleteWebUrlsByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID) = 0;  // DISPID 32
    STDMETHOD(ModifyWebUrlByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrWebUrlID,
            /*[in]*/ tagWebUrl* pWebUrl) = 0;  // DISPID 33
    STDMETHOD(GetIMsByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagIM)]*/ SAFEARRAY** ppIM) = 0;  // DISPID 34
    STDMETHOD(AddIMToContact)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID, /*[in]*/ tagIM* pIM,
            /*[out, retval]*/ BSTR* pbstrIMID) = 0;  // DISPID 35
    STDMETHOD(DeleteIMByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrIMID) = 0;  // DISPID 36
    STDMETHOD(DeleteIMsByContactID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID) = 0;  // DISPID 37
    STDMETHOD(ModifyIMByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrIMID,
            /*[in]*/ tagIM* pIM) = 0;  // DISPID 38
    STDMETHOD(GetContactByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[out, retval]*/ tagContactInfo* pContactInfo) = 0;  // DISPID 39
    STDMETHOD(ExistContact)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactID,
            /*[out, retval]*/ VARIANT_BOOL* pvbFound) = 0;  // DISPID 40

protected:
    ~IContactAccess() = default;
};

extern "C" const IID IID_IContactGroupAccess;  // {6AC5B63C-12CD-4995-AA7E-0BD643BDCE30}
struct IContactGroupAccess : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(SetProfileID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 2
    STDMETHOD(GetNumOfContactGroups)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ LONG* plNumOfContactGroups) = 0;  // DISPID 3
    STDMETHOD(GetContactGroupByIndex)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lIndex,
            /*[out, retval]*/ tagContactGroupInfo* pContactGroupInfo) = 0;  // DISPID 4
    STDMETHOD(GetAllContactGroups)(/*[in, out]*/ LONG* plErrorID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagContactGroupInfo)]*/ SAFEARRAY** ppContactGroupInfo) = 0;  // DISPID 5
    STDMETHOD(AddContactGroup)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ tagContactGroupInfo* pContactGroupInfo,
            /*[out, retval]*/ BSTR* pbstrContactGroupID) = 0;  // DISPID 6
    STDMETHOD(DeleteContactGroupByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactGroupID) = 0;  // DISPID 7
    STDMETHOD(DeleteAllContactGroups)(/*[in, out]*/ LONG* plErrorID) = 0;  // DISPID 8
    STDMETHOD(ModifyContactGroupByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrContactGroupID,
            /*[in]*/ tagContactGroupInfo* pContactGroupInfo) = 0;  // DISPID 9

protected:
    ~IContactGroupAccess() = default;
};

extern "C" const IID IID_IEventAccess;  // {C1367238-704B-4AAA-8668-34DF85F7F76B}
struct IEventAccess : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(SetProfileID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 2
    STDMETHOD(GetAllEvents)(/*[in, out]*/ LONG* plErrorID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagEventInfo)]*/ SAFEARRAY** ppEventInfo) = 0;  // DISPID 3
    STDMETHOD(AddEvent)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ tagEventInfo* pEventInfo,
            /*[out, retval]*/ BSTR* pbstrEventID) = 0;  // DISPID 4
    STDMETHOD(DeleteEventByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEventID) = 0;  // DISPID 5
    STDMETHOD(DeleteAllEvents)(/*[in, out]*/ LONG* plErrorID) = 0;  // DISPID 6
    STDMETHOD(ModifyEventByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEventID,
            /*[in]*/ tagEventInfo* pEventInfo) = 0;  // DISPID 7
    STDMETHOD(GetEventsByEventCategoryID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEventCategoryID,
            /*[in]*/ DATE dtStartDateTime, /*[in]*/ DATE dtEndDateTime, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagEventInfo)]*/ SAFEARRAY** ppEventInfo) = 0;  // DISPID 8
    STDMETHOD(DeleteEventsByEventCategoryID)(/*[in, out]*/ LONG* plErrorID,
            /*[in]*/ BSTR bstrEventCategoryID) = 0;  // DISPID 9
    STDMETHOD(GetAllSelectedEvents)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ DATE dtStartDateTime,
            /*[in]*/ DATE dtEndDateTime, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagEventInfo)]*/ SAFEARRAY** ppEventInfo) = 0;  // DISPID 10
    STDMETHOD(GetEventByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEventID,
            /*[out, retval]*/ tagEventInfo* pEventInfo) = 0;  // DISPID 11
    STDMETHOD(ExistEvent)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEventID,
            /*[out, retval]*/ VARIANT_BOOL* pvbFound) = 0;  // DISPID 12
    STDMETHOD(GetAllExceptions)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEventID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagEventInfo)]*/ SAFEARRAY** ppEventInfo) = 0;  // DISPID 13
    STDMETHOD(AddException)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEventID, /*[in]*/ tagEventInfo* pEventInfo,
            /*[out, retval]*/ BSTR* pbstrExceptionID) = 0;  // DISPID 14
    STDMETHOD(DeleteExceptionByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrExceptionID) = 0;  // DISPID 15
    STDMETHOD(ModifyExceptionByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrExceptionID,
            /*[in]*/ tagEventInfo* pEventInfo) = 0;  // DISPID 16
    STDMETHOD(GetExceptionByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrExceptionID,
            /*[out, retval]*/ tagEventInfo* pEventInfo) = 0;  // DISPID 17

protected:
    ~IEventAccess() = default;
};

extern "C" const IID IID_IEventCategoryAccess;  // {C2C3E067-8949-422A-8433-7F9F5F58FF25}
struct IEventCategoryAccess : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(SetProfileID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 2
    STDMETHOD(GetNumOfEventCategories)(/*[in, out]*/ LONG* plErrorID,
            /*[out, retval]*/ LONG* plNumOfEventCategories) = 0;  // DISPID 3
    STDMETHOD(GetEventCategoryByIndex)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lIndex,
            /*[out, retval]*/ tagEventCategoryInfo* pEventCategoryInfo) = 0;  // DISPID 4
    STDMETHOD(GetAllEventCategories)(/*[in, out]*/ LONG* plErrorID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagEventCategoryInfo)]*/ SAFEARRAY** ppEventCategoryInfo) = 0;  // DISPID 5
    STDMETHOD(AddEventCategory)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ tagEventCategoryInfo* pEventCategoryInfo,
            /*[out, retval]*/ BSTR* pbstrEventCategoryID) = 0;  // DISPID 6
    STDMETHOD(DeleteEventCategoryByID)(/*[in, out]*/ LONG* plErrorID,
            /*[in]*/ BSTR bstrEventCategoryID) = 0;  // DISPID 7
    STDMETHOD(ModifyEventCategoryByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEventCategoryID,
            /*[in]*/ tagEventCategoryInfo* pEventCategoryInfo) = 0;  // DISPID 8

protected:
    ~IEventCategoryAccess() = default;
};

extern "C" const IID IID_ITaskAccess;  // {59EE5275-65C3-4DD6-A9E0-D0BDA6777BF4}
struct ITaskAccess : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(SetProfileID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 2
    STDMETHOD(GetNumOfTasks)(/*[in, out]*/ LONG* plErrorID, /*[out, retval]*/ LONG* plNumOfTasks) = 0;  // DISPID 3
    STDMETHOD(GetTaskByIndex)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lIndex,
            /*[out, retval]*/ tagTaskInfo* pTaskInfo) = 0;  // DISPID 4
    STDMETHOD(GetAllTasks)(/*[in, out]*/ LONG* plErrorID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagTaskInfo)]*/ SAFEARRAY** ppTaskInfo) = 0;  // DISPID 5
    STDMETHOD(AddTask)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ tagTaskInfo* pTaskInfo,
            /*[out, retval]*/ BSTR* pbstrTaskID) = 0;  // DISPID 6
    STDMETHOD(DeleteTaskByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrTaskID) = 0;  // DISPID 7
    STDMETHOD(DeleteAllTasks)(/*[in, out]*/ LONG* plErrorID) = 0;  // DISPID 8
    STDMETHOD(ModifyTaskByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrTaskID,
            /*[in]*/ tagTaskInfo* pTaskInfo) = 0;  // DISPID 9
    STDMETHOD(GetTaskByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrTaskID,
            /*[out, retval]*/ tagTaskInfo* pTaskInfo) = 0;  // DISPID 10
    STDMETHOD(ExistTask)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrTaskID,
            /*[out, retval]*/ VARIANT_BOOL* pvbFound) = 0;  // DISPID 11

protected:
    ~ITaskAccess() = default;
};

extern "C" const IID IID_ISyncOption;  // {2DE84DEC-46F3-4C4E-8A2B-4ED8737B2D44}
struct ISyncOption : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(SetProfileID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 2
    STDMETHOD(GetSyncOption)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lType,
            /*[out, retval]*/ tagSyncOptions* pSyncOptions) = 0;  // DISPID 3
    STDMETHOD(UpdateSyncOption)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lType,
            /*[in]*/ tagSyncOptions* pSyncOptions) = 0;  // DISPID 4
    STDMETHOD(GetSyncAlbums)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lType, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagSyncAlbumItem)]*/ SAFEARRAY** ppSyncAlbums) = 0;  // DISPID 5
    STDMETHOD(AddSyncAlbum)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lType,
            /*[in]*/ tagSyncAlbumItem* pSyncAlbum) = 0;  // DISPID 6
    STDMETHOD(RemoveSyncAlbum)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lType,
            /*[in]*/ BSTR bstrAlbum) = 0;  // DISPID 7
    STDMETHOD(ClearSyncAlbums)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lType) = 0;  // DISPID 8
    STDMETHOD(GetSyncedAlbums)(/*[in, out]*/ LONG* plErrorID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagSyncedAlbumItem)]*/ SAFEARRAY** ppSyncedAlbums) = 0;  // DISPID 9
    STDMETHOD(GetSyncedPodcasts)(/*[in, out]*/ LONG* plErrorID, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagSyncedAlbumItem)]*/ SAFEARRAY** ppSyncedPodcasts) = 0;  // DISPID 10

protected:
    ~ISyncOption() = default;
};

extern "C" const IID IID_IMostFrequentlyPlayedMusic;  // {9D1AAC29-8F0A-4ECB-A7C0-403FE519DE20}
struct IMostFrequentlyPlayedMusic : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(SetProfileID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 2
    STDMETHOD(QueryMfpmEntry)(/*[in, out]*/ LONG* plErrorID, /*[in, out]*/ tagMostFrequentlyPlayedMusic* pEntry,
            /*[out, retval]*/ VARIANT_BOOL* pvbExist) = 0;  // DISPID 3
    STDMETHOD(AddMfpmEntry)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ tagMostFrequentlyPlayedMusic* pEntry,
            /*[out, retval]*/ BSTR* pbstrEntryID) = 0;  // DISPID 4
    STDMETHOD(DeleteMfpmEntryByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEntryID) = 0;  // DISPID 5
    STDMETHOD(ModifyMfpmEntryByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEntryID,
            /*[in]*/ tagMostFrequentlyPlayedMusic* pEntry) = 0;  // DISPID 6
    STDMETHOD(ModifyMfpmEntryByIDEx)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEntryID,
            /*[in]*/ tagMostFrequentlyPlayedMusic* pEntry) = 0;  // DISPID 7
    STDMETHOD(GetMostFrequentlyPlayedMusics)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lCnt, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagMostFrequentlyPlayedMusic)]*/ SAFEARRAY** ppEntries) = 0;  // DISPID 8
    STDMETHOD(UpdateMostFrequentlyPlayedMusic)(/*[in, out]*/ LONG* plErrorID,
            /*[in]*/ tagMostFrequentlyPlayedMusic* pEntry) = 0;  // DISPID 9

protected:
    ~IMostFrequentlyPlayedMusic() = default;
};

extern "C" const IID IID_IMostFrequentlyPlayedPodcast;  // {B291A556-A92C-4839-8C0F-75FA391852B2}
struct IMostFrequentlyPlayedPodcast : IDispatch {
    STDMETHOD(SetPimDbAccess)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ IPimDbAccess* pPimDbAccess) = 0;  // DISPID 1
    STDMETHOD(SetProfileID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrProfileID) = 0;  // DISPID 2
    STDMETHOD(QueryMfppEntry)(/*[in, out]*/ LONG* plErrorID, /*[in, out]*/ tagMostFrequentlyPlayedPodcast* pEntry,
            /*[out, retval]*/ VARIANT_BOOL* pvbExist) = 0;  // DISPID 3
    STDMETHOD(AddMfppEntry)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ tagMostFrequentlyPlayedPodcast* pEntry,
            /*[out, retval]*/ BSTR* pbstrEntryID) = 0;  // DISPID 4
    STDMETHOD(DeleteMfppEntryByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEntryID) = 0;  // DISPID 5
    STDMETHOD(ModifyMfppEntryByID)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEntryID,
            /*[in]*/ tagMostFrequentlyPlayedPodcast* pEntry) = 0;  // DISPID 6
    STDMETHOD(ModifyMfppEntryByIDEx)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ BSTR bstrEntryID,
            /*[in]*/ tagMostFrequentlyPlayedPodcast* pEntry) = 0;  // DISPID 7
    STDMETHOD(GetMostFrequentlyPlayedPodcasts)(/*[in, out]*/ LONG* plErrorID, /*[in]*/ LONG lCnt, /*[out]*/ LONG* plNum,
            /*[out, retval, SAFEARRAY(tagMostFrequentlyPlayedPodcast)]*/ SAFEARRAY** ppEntries) = 0;  // DISPID 8
    STDMETHOD(UpdateMostFrequentlyPlayedPodcast)(/*[in, out]*/ LONG* plErrorID,
            /*[in]*/ tagMostFrequentlyPlayedPodcast* pEntry) = 0;  // DISPID 9

protected:
    ~IMostFrequentlyPlayedPodcast() = default;
};

// ---- Classes -----------------------------------------------------------------
// PimManagement implements IPimManagement; ThreadingModel "Free",
//   ProgID "Calyra.PimManagement.1", version-independent "Calyra.PimManagement",
//   description "PimManagement Class".
extern "C" const CLSID CLSID_PimManagement;  // {4B0CC126-5197-4679-94F9-8BFFD88D2DCA}

// ProfileAccess implements IProfileAccess; ThreadingModel "Free",
//   ProgID "Calyra.CProfileAccess.1", version-independent "Calyra.CProfileAccess",
//   description "CProfileAccess Class".
extern "C" const CLSID CLSID_ProfileAccess;  // {E1672A33-402D-4415-8321-88AE797BB0DB}

// PimDbAccess implements IPimDbAccess; ThreadingModel "Free",
//   ProgID "Calyra.PimDbAccess.1", version-independent "Calyra.PimDbAccess",
//   description "PimDbAccess Class".
extern "C" const CLSID CLSID_PimDbAccess;  // {7039E61B-CC64-46EC-BC41-35A0502E16E3}

// ContactGroupAccess implements IContactGroupAccess; ThreadingModel "Free",
//   ProgID "Calyra.ContactGroupAccess.1", version-independent "Calyra.ContactGroupAccess",
//   description "ContactGroupAccess Class".
extern "C" const CLSID CLSID_ContactGroupAccess;  // {3D1CA2EE-53F9-455A-8507-AA0F8D9B19D8}

// EventCategoryAccess implements IEventCategoryAccess; ThreadingModel "Free",
//   ProgID "Calyra.EventCategoryAccess.1", version-independent "Calyra.EventCategoryAccess",
//   description "EventCategoryAccess Class".
extern "C" const CLSID CLSID_EventCategoryAccess;  // {A22B3658-4157-44A6-9286-BD52814ED058}

// EventAccess implements IEventAccess; ThreadingModel "Free",
//   ProgID "Calyra.EventAccess.1", version-independent "Calyra.EventAccess",
//   description "EventAccess Class".
extern "C" const CLSID CLSID_EventAccess;  // {C6770FCB-2C35-4D32-A2DF-F5A514646F0A}

// TaskAccess implements ITaskAccess; ThreadingModel "Free",
//   ProgID "Calyra.TaskAccess.1", version-independent "Calyra.TaskAccess",
//   description "TaskAccess Class".
extern "C" const CLSID CLSID_TaskAccess;  // {BEBCCF5B-3BA5-451D-9DF9-8D34A6C7CB2D}

// ContactAccess implements IContactAccess; ThreadingModel "Free",
//   ProgID "Calyra.ContactAccess.1", version-independent "Calyra.ContactAccess",
//   description "ContactAccess Class".
extern "C" const CLSID CLSID_ContactAccess;  // {B5441308-A413-4DF7-AB11-7A549BBA29B8}

// SyncOption implements ISyncOption; ThreadingModel "Both",
//   ProgID "Calyra.SyncOption.1", version-independent "Calyra.SyncOption",
//   description "SyncOption Class".
extern "C" const CLSID CLSID_SyncOption;  // {63C808C0-836F-4BAB-8586-F42E7B895AC1}

// MostFrequentlyPlayedMusic implements IMostFrequentlyPlayedMusic; ThreadingModel "Both",
//   ProgID "Calyra.MostFrequentlyPlayedMusic.1", version-independent "Calyra.MostFrequentlyPlayedMusic",
//   description "MostFrequentlyPlayedMusic Class".
extern "C" const CLSID CLSID_MostFrequentlyPlayedMusic;  // {6B9A4534-E55F-4C67-87EB-51FD11FAB75D}

// MostFrequentlyPlayedPodcast implements IMostFrequentlyPlayedPodcast; ThreadingModel "Apartment",
//   ProgID "Calyra.MostFrequentlyPlayedPodcast.1", version-independent "Calyra.MostFrequentlyPlayedPodcast",
//   description "MostFrequentlyPlayedPodcast Class".
extern "C" const CLSID CLSID_MostFrequentlyPlayedPodcast;  // {E86990F3-8B4E-4672-968D-247EDDC7B1F2}
