// The schema statement lists, built from one column table per table.
#include "management/schema_statements.h"

#include <string>
#include <vector>

namespace calyra {

namespace {

// One column line: "[name] type" + blanks + constraint. Every column has
// two blanks before its constraint except four of [tProfile], which have
// one.
struct Column {
    std::u16string_view name;
    std::u16string_view type;
    std::u16string_view constraint;
    unsigned blanks = 2;
};

constexpr unsigned kOneBlank = 1;

// The constraint texts, in the orders the tables use them.
constexpr std::u16string_view kKeyAutoNotNull = u"PRIMARY KEY AUTOINCREMENT NOT NULL";
constexpr std::u16string_view kNotNullKeyAuto = u"NOT NULL PRIMARY KEY AUTOINCREMENT";
constexpr std::u16string_view kKeyNotNull = u"PRIMARY KEY NOT NULL";  // [tContactGroupMap] only
constexpr std::u16string_view kNotNull = u"NOT NULL";
constexpr std::u16string_view kNull = u"NULL";

// FROZEN: one table per database table, columns in file order. Spelling
// slips that live in every existing file stay as they are: "iNTEGER" in
// four [tFile] columns, [LastModifiredOnPc], [ObjectIdOn3rd].

constexpr Column kAddress[] = {
    {u"AddressID", u"INTEGER", kKeyAutoNotNull}, {u"ContactID", u"INTEGER", kNotNull},
    {u"LocationType", u"INTEGER", kNotNull},     {u"Country", u"VARCHAR(64)", kNull},
    {u"State", u"VARCHAR(64)", kNull},           {u"City", u"VARCHAR(64)", kNull},
    {u"Street", u"VARCHAR(128)", kNull},         {u"ZipCode", u"VARCHAR(32)", kNull},
    {u"PrimaryFlag", u"INTEGER", kNull},
};

constexpr Column kAlbum[] = {
    {u"AlbumID", u"INTEGER", kKeyAutoNotNull},  {u"ProfileID", u"INTEGER", kNotNull},
    {u"Name", u"VARCHAR(522)", kNull},          {u"PathOnPc", u"VARCHAR(522)", kNull},
    {u"PathOnDevice", u"VARCHAR(522)", kNull},  {u"PathOn3rd", u"VARCHAR(522)", kNull},
    {u"LocationOnPc", u"VARCHAR(522)", kNull},  {u"LocationOnDevice", u"VARCHAR(522)", kNull},
    {u"LocationOn3rd", u"VARCHAR(522)", kNull}, {u"Filter", u"VARCHAR(522)", kNull},
    {u"Recursive", u"BOOLEAN", kNull},          {u"Type", u"INTEGER", kNull},
    {u"SyncAnchor", u"TIMESTAMP", kNull},
};

constexpr Column kCall[] = {
    {u"CallID", u"INTEGER", kNotNullKeyAuto}, {u"Caller", u"VARCHAR(32)", kNull},
    {u"Callee", u"VARCHAR(32)", kNull},       {u"CallFlag", u"INTEGER", kNull},
    {u"StartDateTime", u"TIMESTAMP", kNull},  {u"EndDateTime", u"TIMESTAMP", kNull},
    {u"Duration", u"INTEGER", kNull},
};

constexpr Column kContact[] = {
    {u"ContactID", u"INTEGER", kKeyAutoNotNull},
    {u"ProfileID", u"INTEGER", kNotNull},
    {u"Title", u"INTEGER", kNull},
    {u"Suffix", u"INTEGER", kNull},
    {u"LastName", u"VARCHAR(64)", kNull},
    {u"FirstName", u"VARCHAR(64)", kNull},
    {u"MiddleName", u"VARCHAR(64)", kNull},
    {u"NickName", u"VARCHAR(64)", kNull},
    {u"SpouseName", u"VARCHAR(64)", kNull},
    {u"BirthDate", u"DATE", kNull},
    {u"Anniversary", u"DATE", kNull},
    {u"CompanyName", u"VARCHAR(64)", kNull},
    {u"Department", u"VARCHAR(64)", kNull},
    {u"JobTitle", u"VARCHAR(64)", kNull},
    {u"Description", u"VARCHAR(1024)", kNull},
    {u"Ringtone", u"VARCHAR(522)", kNull},
    {u"Photo", u"VARCHAR(522)", kNull},
    {u"MessageAlert", u"VARCHAR(522)", kNull},
    {u"Modified", u"TIMESTAMP", kNull},
};

constexpr Column kContactGroup[] = {
    {u"ContactGroupID", u"INTEGER", kKeyAutoNotNull},
    {u"ProfileID", u"INTEGER", kNotNull},
    {u"ContactGroupName", u"VARCHAR(64)", kNotNull},
    {u"ToBeSynced", u"INTEGER", kNull},
    {u"Modified", u"TIMESTAMP", kNull},
};

constexpr Column kContactGroupMap[] = {
    {u"ContactGroupMapID", u"INTEGER", kKeyNotNull},
    {u"ContactGroupID", u"INTEGER", kNotNull},
    {u"ContactID", u"INTEGER", kNotNull},
};

constexpr Column kEmail[] = {
    {u"EmailID", u"INTEGER", kNotNullKeyAuto}, {u"ContactID", u"INTEGER", kNotNull},
    {u"LocationType", u"INTEGER", kNull},      {u"Email", u"VARCHAR(128)", kNull},
    {u"PrimaryFlag", u"INTEGER", kNull},
};

constexpr Column kEvent[] = {
    {u"EventID", u"INTEGER", kKeyAutoNotNull},
    {u"ProfileID", u"INTEGER", kNotNull},
    {u"OriginalEventID", u"INTEGER", kNotNull},
    {u"EventCategoryID", u"INTEGER", kNotNull},
    {u"Subject", u"VARCHAR(128)", kNotNull},
    {u"Description", u"VARCHAR(1024)", kNull},
    {u"Location", u"VARCHAR(128)", kNull},
    {u"EventType", u"INTEGER", kNull},
    {u"EventStatus", u"INTEGER", kNull},
    {u"Availability", u"INTEGER", kNull},
    {u"StartDateTime", u"TIMESTAMP", kNull},
    {u"EndDateTime", u"TIMESTAMP", kNull},
    {u"AllDayEventFlag", u"INTEGER", kNull},
    {u"PrivateFlag", u"INTEGER", kNull},
    {u"Priority", u"INTEGER", kNull},
    {u"ReminderTime", u"INTEGER", kNull},
    {u"ReminderAudio", u"VARCHAR(522)", kNull},
    {u"TimeZone", u"INTEGER", kNull},
    {u"PatternOption", u"INTEGER", kNull},
    {u"DailyOption", u"INTEGER", kNull},
    {u"DailyEveryXDays", u"INTEGER", kNull},
    {u"DailyXUnitOfNewTask", u"INTEGER", kNull},
    {u"WeeklyOption", u"INTEGER", kNull},
    {u"WeeklyEveryXWeeks", u"INTEGER", kNull},
    {u"WeeklyDays", u"INTEGER", kNull},
    {u"WeeklyXUnitOfNewTask", u"INTEGER", kNull},
    {u"MonthlyOption", u"INTEGER", kNull},
    {u"MonthlyDayM", u"INTEGER", kNull},
    {u"MonthlyEveryXMonths", u"INTEGER", kNull},
    {u"MonthlyTheNth", u"INTEGER", kNull},
    {u"MonthlyDayN", u"INTEGER", kNull},
    {u"MonthlyEveryYMonths", u"INTEGER", kNull},
    {u"MonthlyXUnitOfNewTask", u"INTEGER", kNull},
    {u"YearlyOption", u"INTEGER", kNull},
    {u"YearlyEveryXYears", u"INTEGER", kNull},
    {u"YearlyEveryMonthM", u"INTEGER", kNull},
    {u"YearlyDayM", u"INTEGER", kNull},
    {u"YearlyTheNth", u"INTEGER", kNull},
    {u"YearlyDayN", u"INTEGER", kNull},
    {u"YearlyOfMonthN", u"INTEGER", kNull},
    {u"YearlyXUnitOfNewTask", u"INTEGER", kNull},
    {u"Start", u"DATE", kNull},
    {u"EndOption", u"INTEGER", kNull},
    {u"EndAfter", u"INTEGER", kNull},
    {u"EndBy", u"DATE", kNull},
    {u"OriginalStartTime", u"TIMESTAMP", kNull},
    {u"Modified", u"TIMESTAMP", kNull},
};

constexpr Column kEventCategory[] = {
    {u"EventCategoryID", u"INTEGER", kKeyAutoNotNull},
    {u"ProfileID", u"INTEGER", kNotNull},
    {u"EventCategoryName", u"VARCHAR(64)", kNotNull},
    {u"Color", u"INTEGER", kNotNull},
    {u"ToBeSynced", u"INTEGER", kNull},
    {u"IsSelected", u"INTEGER", kNull},
    {u"Modified", u"TIMESTAMP", kNull},
};

constexpr Column kFile[] = {
    {u"FileID", u"INTEGER", kKeyAutoNotNull},      {u"AlbumID", u"INTEGER", kNull},
    {u"NameOnPc", u"VARCHAR(256)", kNull},         {u"NameOnDevice", u"VARCHAR(256)", kNull},
    {u"NameOn3rd", u"VARCHAR(256)", kNull},        {u"ObjectIDOnPc", u"VARCHAR(522)", kNull},
    {u"ObjectIDOnDevice", u"VARCHAR(522)", kNull}, {u"ObjectIdOn3rd", u"VARCHAR(522)", kNull},
    {u"LastModifiredOnPc", u"TIMESTAMP", kNull},   {u"LastModifiedOnDevice", u"TIMESTAMP", kNull},
    {u"LastModifiedOn3rd", u"TIMESTAMP", kNull},   {u"SyncAnchorOnPc", u"TIMESTAMP", kNull},
    {u"SyncAnchorOnDevice", u"TIMESTAMP", kNull},  {u"SyncAnchorOn3rd", u"TIMESTAMP", kNull},
    {u"ChangeFlagOnPc", u"INTEGER", kNull},        {u"ChangeFlagOnDevice", u"INTEGER", kNull},
    {u"ChangeFlagOn3rd", u"INTEGER", kNull},       {u"TraversedFlagOnPc", u"BOOLEAN", kNull},
    {u"TraversedFlagOnDevice", u"BOOLEAN", kNull}, {u"TraversedFlagOn3rd", u"BOOLEAN", kNull},
    {u"SyncingFlag", u"BOOLEAN", kNull},           {u"ItemID", u"INTEGER", kNull},
    {u"RepeatNumOnPc", u"iNTEGER", kNull},         {u"RepeatNumOnDevice", u"iNTEGER", kNull},
    {u"RepeatNumOn3rd", u"INTEGER", kNull},        {u"LastNumOnPc", u"iNTEGER", kNull},
    {u"LastNumOnDevice", u"iNTEGER", kNull},       {u"LastNumOn3rd", u"INTEGER", kNull},
    {u"ForbiddenFlag", u"BOOLEAN", kNull},
};

constexpr Column kIM[] = {
    {u"IMID", u"INTEGER", kKeyAutoNotNull},  {u"ContactID", u"INTEGER", kNull},
    {u"LocationType", u"INTEGER", kNotNull}, {u"Address", u"VARCHAR(128)", kNull},
    {u"Protocol", u"VARCHAR(32)", kNotNull}, {u"PrimaryFlag", u"INTEGER", kNull},
};

constexpr Column kMostFrequentlyPlayedMusic[] = {
    {u"EntryID", u"INTEGER", kNotNullKeyAuto}, {u"ProfileID", u"INTEGER", kNotNull},
    {u"Album", u"VARCHAR(256)", kNull},        {u"Title", u"VARCHAR(128)", kNull},
    {u"Artist", u"VARCHAR(128)", kNull},       {u"FullPath", u"VARCHAR(520)", kNull},
    {u"Counter", u"INTEGER", kNull},           {u"LastPlayed", u"TIMESTAMP", kNull},
};

constexpr Column kMostFrequentlyPlayedPodcast[] = {
    {u"EntryID", u"INTEGER", kNotNullKeyAuto}, {u"ProfileID", u"INTEGER", kNotNull},
    {u"Album", u"VARCHAR(256)", kNull},        {u"Episode", u"VARCHAR(256)", kNull},
    {u"Time", u"VARCHAR(64)", kNull},          {u"ReleaseDate", u"VARCHAR(64)", kNull},
    {u"Description", u"VARCHAR(1024)", kNull}, {u"FullPath", u"VARCHAR(520)", kNull},
    {u"Counter", u"INTEGER", kNull},           {u"LastPlayed", u"TIMESTAMP", kNull},
};

constexpr Column kPhoneNumber[] = {
    {u"PhoneNumberID", u"INTEGER", kKeyAutoNotNull}, {u"ContactID", u"INTEGER", kNull},
    {u"LocationType", u"INTEGER", kNotNull},         {u"PhoneNumberType", u"INTEGER", kNotNull},
    {u"PhoneNumber", u"VARCHAR(64)", kNull},         {u"PrimaryFlag", u"INTEGER", kNull},
};

constexpr Column kProfile[] = {
    {u"ProfileID", u"INTEGER", kKeyAutoNotNull},  {u"IMEI", u"VARCHAR(64)", kNull, kOneBlank},
    {u"SN", u"VARCHAR(256)", kNull, kOneBlank},   {u"HXRID", u"VARCHAR(64)", kNull, kOneBlank},
    {u"Model", u"VARCHAR(64)", kNull, kOneBlank}, {u"ProfileName", u"VARCHAR(64)", kNull},
};

constexpr Column kSMS[] = {
    {u"SMSID", u"INTEGER", kKeyAutoNotNull}, {u"ProfileID", u"INTEGER", kNotNull}, {u"Sender", u"VARCHAR(32)", kNull},
    {u"Recipient", u"VARCHAR(32)", kNull},   {u"Message", u"VARCHAR(512)", kNull}, {u"Timestamp", u"TIMESTAMP", kNull},
    {u"FolderFlag", u"INTEGER", kNull},
};

constexpr Column kSyncAlbum[] = {
    {u"SyncAlbumID", u"INTEGER", kKeyAutoNotNull},
    {u"ProfileID", u"INTEGER", kNotNull},
    {u"SyncDataType", u"INTEGER", kNull},
    {u"SyncAlbumName", u"VARCHAR(520)", kNull},
    {u"Option", u"INTEGER", kNull},
};

constexpr Column kSyncOption[] = {
    {u"SyncOptionID", u"INTEGER", kKeyAutoNotNull},
    {u"ProfileID", u"INTEGER", kNotNull},
    {u"SyncDataType", u"INTEGER", kNull},
    {u"GroupOption", u"INTEGER", kNull},
    {u"OptionEx0", u"INTEGER", kNull},
    {u"OptionEx1", u"INTEGER", kNull},
    {u"OptionEx2", u"INTEGER", kNull},
    {u"OptionEx3", u"INTEGER", kNull},
    {u"OptionEx4", u"INTEGER", kNull},
    {u"OptionEx5", u"INTEGER", kNull},
    {u"OptionEx6", u"INTEGER", kNull},
    {u"OptionEx7", u"INTEGER", kNull},
};

constexpr Column kTask[] = {
    {u"TaskID", u"INTEGER", kKeyAutoNotNull},
    {u"ProfileID", u"INTEGER", kNotNull},
    {u"Subject", u"VARCHAR(128)", kNotNull},
    {u"Status", u"INTEGER", kNull},
    {u"CompletePercent", u"INTEGER", kNull},
    {u"StartDate", u"DATE", kNull},
    {u"EndDate", u"DATE", kNull},
    {u"Priority", u"INTEGER", kNull},
    {u"PrivateFlag", u"INTEGER", kNull},
    {u"TaskType", u"INTEGER", kNull},
    {u"Description", u"VARCHAR(1024)", kNull},
    {u"ReminderTime", u"VARCHAR(522)", kNull},
    {u"ReminderAudio", u"VARCHAR(522)", kNull},
    {u"DateCompleted", u"DATE", kNull},
    {u"PatternOption", u"INTEGER", kNull},
    {u"DailyOption", u"INTEGER", kNull},
    {u"DailyEveryXDays", u"INTEGER", kNull},
    {u"DailyXUnitOfNewTask", u"INTEGER", kNull},
    {u"WeeklyOption", u"INTEGER", kNull},
    {u"WeeklyEveryXWeeks", u"INTEGER", kNull},
    {u"WeeklyDays", u"INTEGER", kNull},
    {u"WeeklyXUnitOfNewTask", u"INTEGER", kNull},
    {u"MonthlyOption", u"INTEGER", kNull},
    {u"MonthlyDayM", u"INTEGER", kNull},
    {u"MonthlyEveryXMonths", u"INTEGER", kNull},
    {u"MonthlyTheNth", u"INTEGER", kNull},
    {u"MonthlyDayN", u"INTEGER", kNull},
    {u"MonthlyEveryYMonths", u"INTEGER", kNull},
    {u"MonthlyXUnitOfNewTask", u"INTEGER", kNull},
    {u"YearlyOption", u"INTEGER", kNull},
    {u"YearlyEveryXYears", u"INTEGER", kNull},
    {u"YearlyEveryMonthM", u"INTEGER", kNull},
    {u"YearlyDayM", u"INTEGER", kNull},
    {u"YearlyTheNth", u"INTEGER", kNull},
    {u"YearlyDayN", u"INTEGER", kNull},
    {u"YearlyOfMonthN", u"INTEGER", kNull},
    {u"YearlyXUnitOfNewTask", u"INTEGER", kNull},
    {u"Start", u"DATE", kNull},
    {u"EndOption", u"INTEGER", kNull},
    {u"EndAfter", u"INTEGER", kNull},
    {u"EndBy", u"DATE", kNull},
    {u"Created", u"TIMESTAMP", kNull},
    {u"Modified", u"TIMESTAMP", kNull},
};

constexpr Column kVer[] = {
    {u"VerID", u"INTEGER", kNotNullKeyAuto},
    {u"VerString", u"VARCHAR(16)", kNull},
};

constexpr Column kWebUrl[] = {
    {u"WebUrlID", u"INTEGER", kKeyAutoNotNull}, {u"ContactID", u"INTEGER", kNotNull},
    {u"LocationType", u"INTEGER", kNull},       {u"WebUrl", u"VARCHAR(128)", kNull},
    {u"PrimaryFlag", u"INTEGER", kNull},
};

struct Table {
    std::u16string_view name;
    std::span<const Column> columns;
};

// The creation order, which is also the drop order.
constexpr Table kTables[] = {
    {u"tAddress", kAddress},
    {u"tAlbum", kAlbum},
    {u"tCall", kCall},
    {u"tContact", kContact},
    {u"tContactGroup", kContactGroup},
    {u"tContactGroupMap", kContactGroupMap},
    {u"tEmail", kEmail},
    {u"tEvent", kEvent},
    {u"tEventCategory", kEventCategory},
    {u"tFile", kFile},
    {u"tIM", kIM},
    {u"tMostFrequentlyPlayedMusic", kMostFrequentlyPlayedMusic},
    {u"tMostFrequentlyPlayedPodcast", kMostFrequentlyPlayedPodcast},
    {u"tPhoneNumber", kPhoneNumber},
    {u"tProfile", kProfile},
    {u"tSMS", kSMS},
    {u"tSyncAlbum", kSyncAlbum},
    {u"tSyncOption", kSyncOption},
    {u"tTask", kTask},
    {u"tVer", kVer},
    {u"tWebUrl", kWebUrl},
};
static_assert(std::size(kTables) == 21);

struct Index {
    std::u16string_view name;
    std::u16string_view column;  // of [tFile], ascending
};

constexpr Index kIndexes[] = {
    {u"IDX_TFILE_1", u"NameOnPc"},
    {u"IDX_TFILE_2", u"NameOnDevice"},
};

constexpr std::u16string_view kPragmas[] = {
    u"PRAGMA case_sensitive_like = 1;",
    u"PRAGMA synchronous = OFF;",
    u"PRAGMA temp_store = MEMORY;",
};

constexpr std::u16string_view kVersionRows[] = {
    u"INSERT INTO [tVer] ([VerString]) VALUES('101111');",
};

// "CREATE TABLE [name] (\n" + column lines joined by ",\n" + "\n);"
std::u16string CreateTableText(const Table& table) {
    std::u16string text = u"CREATE TABLE [";
    text.append(table.name).append(u"] (\n");
    bool first = true;
    for (const Column& c : table.columns) {
        if (!first) text.append(u",\n");
        first = false;
        text.append(u"[").append(c.name).append(u"] ").append(c.type);
        text.append(c.blanks, u' ').append(c.constraint);
    }
    text.append(u"\n);");
    return text;
}

std::u16string CreateIndexText(const Index& index) {
    std::u16string text = u"CREATE INDEX [";
    text.append(index.name).append(u"] ON [tFile](\n[").append(index.column).append(u"]  ASC\n);");
    return text;
}

// The texts built once; the lists are views into them.
struct BuiltLists {
    std::vector<std::u16string> texts;  // owns every built text; never changes after construction
    std::vector<std::u16string_view> creation;
    std::vector<std::u16string_view> drop;

    BuiltLists() {
        constexpr size_t kObjects = std::size(kTables) + std::size(kIndexes);
        texts.reserve(2 * kObjects);  // no reallocation: the views below must stay valid
        for (const Table& t : kTables) texts.push_back(CreateTableText(t));
        for (const Index& i : kIndexes) texts.push_back(CreateIndexText(i));
        for (const Table& t : kTables) texts.push_back(u"DROP TABLE [" + std::u16string(t.name) + u"];");
        for (const Index& i : kIndexes) texts.push_back(u"DROP INDEX [" + std::u16string(i.name) + u"];");
        for (size_t n = 0; n < kObjects; ++n) creation.push_back(texts[n]);
        for (size_t n = kObjects; n < texts.size(); ++n) drop.push_back(texts[n]);
    }
};

const BuiltLists& Lists() {
    static const BuiltLists lists;  // thread-safe first-use construction
    return lists;
}

}  // namespace

SchemaStatementList CreationStatements() { return Lists().creation; }

SchemaStatementList DropStatements() { return Lists().drop; }

SchemaStatementList PragmaStatements() { return kPragmas; }

SchemaStatementList VersionStatements() { return kVersionRows; }

std::u16string_view CreationStatementOf(std::u16string_view table) {
    for (size_t n = 0; n < std::size(kTables); ++n)
        if (kTables[n].name == table) return Lists().creation[n];
    return {};
}

}  // namespace calyra
