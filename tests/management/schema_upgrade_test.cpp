// The schema steps on real database files through the connection: a new
// file, files of every older version, unknown versions, and exactly which
// statements and trace texts each step produces.
#include "management/schema_upgrade.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/pim_db_access.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "support/pim_fixture.h"
#include "support/recording_connection.h"
#include "support/temp_dir.h"
#include "support/trace_recorder.h"

namespace calyra::test {
namespace {

// The schema texts a database must hold, read at run time from
// tests/data/schema, so the tests compare against text that no code of the
// component produced. A file holds statements separated by one empty line,
// each with its real line feeds.
std::vector<std::u16string> SchemaTexts(const char* file) {
    const auto path = std::filesystem::path(CALYRA_TEST_DATA_DIR) / "schema" / file;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::stringstream content;
    content << in.rdbuf();
    std::string text = content.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::vector<std::u16string> statements;
    for (size_t start = 0; !text.empty();) {
        const size_t end = text.find("\n\n", start);
        statements.push_back(Utf8ToUtf16(text.substr(start, end - start)));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return statements;
}

const std::vector<std::u16string> kExpectedCreation = SchemaTexts("101111_create.sql");
const std::vector<std::u16string> kExpectedDrop = SchemaTexts("101111_drop.sql");
// Files written before the third location existed: [tAlbum] without [PathOn3rd] and [LocationOn3rd], [tFile]
// without any On3rd column; and the events table of a 090925 file, which the upgrade throws away.
const std::vector<std::u16string> kOldTables = SchemaTexts("before_101111_tables.sql");
enum : size_t { kOldAlbum, kOldFile, kOldEvent };
using Row = std::vector<std::u16string>;
using Rows = std::vector<Row>;

// The name each creation text makes: "tAddress" from "CREATE TABLE [tAddress] (...".
std::u16string NameOf(size_t object) {
    const std::u16string& text = kExpectedCreation[object];
    const size_t open = text.find(u'[');
    return text.substr(open + 1, text.find(u']') - open - 1);
}
size_t Position(std::u16string_view name) {
    size_t i = 0;
    while (i < kExpectedCreation.size() && NameOf(i) != name) ++i;
    return i;
}
const size_t kAlbum = Position(u"tAlbum"), kEvent = Position(u"tEvent"), kFile = Position(u"tFile");
const size_t kPodcast = Position(u"tMostFrequentlyPlayedPodcast"), kVer = Position(u"tVer");
const size_t kIndex1 = Position(u"IDX_TFILE_1"), kIndex2 = Position(u"IDX_TFILE_2");

// A row written as "a|b|c".
Row Split(std::u16string_view text) {
    Row row;
    for (size_t start = 0;;) {
        const size_t end = text.find(u'|', start);
        row.emplace_back(text.substr(start, end - start));
        if (end == std::u16string_view::npos) return row;
        start = end + 1;
    }
}

// The album rebuild: its six statements around the new album and file tables.
std::vector<std::u16string> AlbumRebuild() {
    std::vector<std::u16string> s = SchemaTexts("album_rebuild.sql");
    s.insert(s.begin() + 4, kExpectedCreation[kFile]);
    s.insert(s.begin() + 1, kExpectedCreation[kAlbum]);
    return s;
}

class SchemaUpgradeTest : public ::testing::Test {
protected:
    void SetUp() override {
        conn = NewConnection();
        ASSERT_EQ(conn->OpenPimDatabase(nullptr, Bstr(u"user"), Bstr(u"pwd"), dir.bstr("pim.db")), S_OK);
        recorder = RecordingConnection::Over(conn.get());
    }

    // The connection the steps run on: it records their statements.
    IPimDbAccess* db() { return recorder.get(); }

    // What OpenPimDatabase of the management object runs after opening.
    void OpenSteps() {
        OptimizePimDatabasePerformance(db());
        UpdatePimDatabase(db());
    }

    void Exec(std::u16string_view sql) {
        ASSERT_EQ(conn->Execute(nullptr, Bstr(sql), nullptr), S_OK) << Utf16ToUtf8(sql);
    }

    Rows Select(std::u16string_view sql) { return QueryTexts(conn.get(), sql); }

    // Every table the file holds, by name, with its stored creation text.
    std::map<std::u16string, std::u16string> Tables() {
        std::map<std::u16string, std::u16string> tables;
        for (const Row& row :
             Select(u"SELECT [name], [sql] FROM sqlite_master WHERE [type] = 'table' AND [name] NOT LIKE "
                    u"'sqlite%';"))
            tables[row[0]] = row[1];
        return tables;
    }

    TempDir dir;
    ComPtr<IPimDbAccess> conn;  // unrecorded: the test's own statements
    ComPtr<CComObject<RecordingConnection>> recorder;
};

// ---- Whole files ----------------------------------------------------------------
// A file of an unknown version gets exactly the fresh schema's statements,
// every table dropped first (VersionStepTest below).

// Which statements a new file gets, in which order, and that a current file
// gets none on reopening, is pinned by VersionStepTest below; that each of
// them runs, by the older files' upgrades.
TEST_F(SchemaUpgradeTest, NewFileIsTunedAndStampedWithTheCurrentVersion) {
    OpenSteps();
    // synchronous OFF, temp_store MEMORY, LIKE minding case.
    EXPECT_EQ(Select(u"SELECT [synchronous], [temp_store], 'a' LIKE 'A' FROM pragma_synchronous, pragma_temp_store;"),
              (Rows{{u"0", u"2", u"0"}}));
    EXPECT_EQ(Select(u"SELECT [VerID], [VerString] FROM [tVer];"), (Rows{{u"1", u"101111"}}));
}

class OlderFileTest : public SchemaUpgradeTest, public ::testing::WithParamInterface<const char16_t*> {};

TEST_P(OlderFileTest, KeepsItsDataAndRebuildsTheAlbums) {
    // A file as the version left it, with rows in the tables that an upgrade
    // carries over, drops or filters.
    const std::u16string version = GetParam();
    const bool from090925 = version == u"090925";
    for (size_t t = 0; t < kIndex1; ++t) {
        if (t == kAlbum || t == kFile || (from090925 && t == kPodcast)) continue;
        Exec(from090925 && t == kEvent ? kOldTables[kOldEvent] : kExpectedCreation[t]);
    }
    Exec(kOldTables[kOldAlbum]);
    Exec(kOldTables[kOldFile]);
    Exec(kExpectedCreation[kIndex1]);
    Exec(kExpectedCreation[kIndex2]);
    Exec(u"INSERT INTO [tVer] ([VerString]) VALUES('" + version + u"');");
    // Two contacts, a task, albums of types 1, 6 and 7 (only the first survives a rebuild) and two files.
    for (const std::u16string& row : SchemaTexts("before_101111_rows.sql")) Exec(row);
    Exec(from090925 ? u"INSERT INTO [tEvent] ([ProfileID], [Subject], [StartDateTime]) "
                      u"VALUES('1', 'Dentist', '2010-05-28 10:00:00');"
                    : u"INSERT INTO [tEvent] ([ProfileID], [OriginalEventID], [EventCategoryID], [Subject], "
                      u"[StartDateTime]) VALUES('1', '0', '1', 'Dentist', '2010-05-28 10:00:00');");

    OpenSteps();

    std::map<std::u16string, std::u16string> tables = Tables();
    EXPECT_EQ(tables.size(), 21u) << "a table too many or too few";
    // The engine keeps each CREATE text without its closing semicolon.
    for (size_t t = 0; t < kIndex1; ++t)
        EXPECT_EQ(tables[NameOf(t)] + u";", kExpectedCreation[t])
            << "table " << Utf16ToUtf8(NameOf(t)) << " is missing or has another layout";
    EXPECT_EQ(Select(u"SELECT [VerString] FROM [tVer] ORDER BY [VerID];"), (Rows{{u"101111"}}));
    EXPECT_EQ(Select(u"SELECT [AlbumID], [ProfileID], [Name], [PathOnPc], [PathOnDevice], [PathOn3rd], "
                     u"[LocationOnPc], [LocationOnDevice], [LocationOn3rd], [Filter], [Recursive], [Type], "
                     u"[SyncAnchor] FROM [tAlbum];"),
              (Rows{{u"5", u"1", u"Music", u"C:\\Music", u"/sdcard/Music", u"", u"pc-loc", u"dev-loc", u"", u"*.mp3",
                     u"1", u"1", u"2010-05-28 10:00:00"}}))
        << "only the type 1 album stays, with its key and empty third-location texts";
    EXPECT_EQ(Select(u"SELECT * FROM [tFile] ORDER BY [FileID];"),
              (Rows{Split(u"12|5|a.mp3|a-dev.mp3||pc-obj|dev-obj||2010-01-01 00:00:01|2010-01-02 00:00:02|"
                          u"2010-01-01 00:00:01|2010-01-03 00:00:03|2010-01-04 00:00:04|2010-01-03 00:00:03|"
                          u"1|2|1|1|0|1|1|77|3|4|3|5|6|5|0"),
                    Split(u"13|6|b.mp3||||||||||||||||||||||||||")}))
        << "files keep their keys and values; the On3rd columns start as copies of the OnPc ones";
    EXPECT_EQ(Select(u"SELECT [LastName] FROM [tContact] ORDER BY [ContactID];"), (Rows{{u"Smith"}, {u"Jones"}}));
    EXPECT_EQ(Select(u"SELECT [Subject] FROM [tTask];"), (Rows{{u"Pay rent"}}));
    EXPECT_EQ(Tables().count(u"tAlbum_Bak") + Tables().count(u"tFile_Bak"), 0u) << "a backup table was left";
    EXPECT_EQ(Select(u"SELECT [Subject] FROM [tEvent];"), from090925 ? Rows{} : (Rows{{u"Dentist"}}))
        << "a 090925 file loses its events; later files keep them";
}

INSTANTIATE_TEST_SUITE_P(Versions, OlderFileTest, ::testing::Values(u"090925", u"100406", u"100528"),
                         [](const ::testing::TestParamInfo<const char16_t*>& info) {
                             return "Version" + Utf16ToUtf8(info.param);
                         });

// ---- Exactly what each step runs ----------------------------------------------------

enum class Step { FreshSchema, From090925, From100406, Nothing };

std::vector<std::u16string> StatementsOf(Step step) {
    std::vector<std::u16string> s;
    const std::u16string version = u"INSERT INTO [tVer] ([VerString]) VALUES('101111');";
    if (step == Step::FreshSchema) {
        s = kExpectedDrop;
        s.insert(s.end(), kExpectedCreation.begin(), kExpectedCreation.end());
        s.push_back(version);
    } else if (step != Step::Nothing) {
        if (step == Step::From090925)
            s = {u"DROP TABLE [tEvent];",     u"DROP TABLE [tVer];",   kExpectedCreation[kEvent],
                 kExpectedCreation[kPodcast], kExpectedCreation[kVer], version};
        else
            s = {u"DROP TABLE [tVer];", kExpectedCreation[kVer], version};
        const std::vector<std::u16string> rebuild = AlbumRebuild();
        s.insert(s.end(), rebuild.begin(), rebuild.end());
    }
    return s;
}

std::vector<std::string> TracesOf(Step step) {
    std::vector<std::string> t = {"CPimManagement::UpdatePimDatabase", "CPimManagement::GetPimDatabaseVersion"};
    if (step == Step::FreshSchema) t.push_back("CPimManagement::UpdateFromInvalidVersion");
    if (step == Step::From090925) t.push_back("CPimManagement::UpdateFrom090925Version");
    // The 100406 step sends no text of its own.
    if (step == Step::From090925 || step == Step::From100406) t.push_back("CPimManagement::UpdateAlbumTable");
    return t;
}

struct VersionCase {
    const char* name;
    bool hasVersionTable;
    std::vector<std::u16string> rows;  // in insertion order
    Step step;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class VersionStepTest : public SchemaUpgradeTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionStepTest, RunsTheStepOfTheStoredVersion) {
    const VersionCase& c = GetParam();
    if (c.hasVersionTable) {
        Exec(u"CREATE TABLE [tVer] ([VerID] INTEGER PRIMARY KEY AUTOINCREMENT, [VerString] VARCHAR(16));");
        for (const std::u16string& v : c.rows) Exec(u"INSERT INTO [tVer] ([VerString]) VALUES('" + v + u"');");
    }
    recorder->TakeCalls();
    TraceRecorder traces;

    UpdatePimDatabase(db());

    std::vector<std::string> sent;
    for (const std::string& text : traces.texts())
        if (text.rfind("CPimManagement::", 0) == 0) sent.push_back(text);
    EXPECT_EQ(sent, TracesOf(c.step));

    // The version query first, then the step's statements, all without an error-ID or row-ID.
    std::vector<std::string> expected = {"Query SELECT VerString FROM [tVer];"}, got;
    for (const std::u16string& sql : StatementsOf(c.step)) expected.push_back("Execute " + Utf16ToUtf8(sql));
    for (const RecordingConnection::Call& call : recorder->TakeCalls()) {
        if (call.kind == "FreeResultset") continue;
        got.push_back(call.kind + " " + call.sql);
        EXPECT_FALSE(call.withErrorID || call.withRowID) << call.sql << " ran with an error-ID or row-ID";
    }
    EXPECT_EQ(got, expected);
}

INSTANTIATE_TEST_SUITE_P(StoredVersions, VersionStepTest,
                         ::testing::Values(VersionCase{"NoVersionTable", false, {}, Step::FreshSchema},
                                           VersionCase{"LaterVersion", true, {u"101112"}, Step::FreshSchema},
                                           VersionCase{"TrailingBlank", true, {u"101111 "}, Step::FreshSchema},
                                           VersionCase{"Version090925", true, {u"090925"}, Step::From090925},
                                           VersionCase{"Version100406", true, {u"100406"}, Step::From100406},
                                           VersionCase{"Current", true, {u"101111"}, Step::Nothing},
                                           VersionCase{"LastRowCurrent", true, {u"090925", u"101111"}, Step::Nothing},
                                           VersionCase{"LastRowOld", true, {u"101111", u"090925"}, Step::From090925},
                                           // Only 15 units are read: this is "101111101111101", no known version.
                                           VersionCase{"TooLong", true, {u"101111101111101111"}, Step::FreshSchema}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(SchemaUpgrade, MissingOrClosedConnectionIsHarmless) {
    OptimizePimDatabasePerformance(nullptr);
    UpdatePimDatabase(nullptr);
    EXPECT_TRUE(FAILED(UpdateAlbumTable(nullptr)));
    Bstr version(u"");
    GetPimDatabaseVersion(nullptr, version);
    EXPECT_TRUE(version.empty());

    // A connection that was never opened: every statement fails, nothing else.
    ComPtr<IPimDbAccess> closed = NewConnection();
    OptimizePimDatabasePerformance(closed.get());
    UpdatePimDatabase(closed.get());
    EXPECT_TRUE(FAILED(UpdateAlbumTable(closed.get())));
}

}  // namespace
}  // namespace calyra::test
