// The connection object through IPimDbAccess, as a client calls it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/pim_db_access.h"
#include "platform/com_ptr.h"
#include "support/pim_fixture.h"
#include "support/temp_dir.h"
#include "support/test_values.h"
#include "support/trace_recorder.h"

namespace calyra::test {
namespace {

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = NewConnection();
        LONG err = kUntouched;
        ASSERT_EQ(db->OpenPimDatabase(&err, Bstr(u"user"), Bstr(u"pwd"), dir.bstr("pim.db")), S_OK);
        ASSERT_EQ(err, kUntouched) << "a successful open wrote the error ID";
        Exec(u"CREATE TABLE [t] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, [Name] VARCHAR(64) NULL);");
    }
    void Exec(const char16_t* sql) { ASSERT_EQ(db->Execute(nullptr, Bstr(sql), nullptr), S_OK) << Utf16ToUtf8(sql); }
    std::string InsertName(const std::u16string& name) {
        Bstr id;
        EXPECT_EQ(db->Execute(nullptr, Bstr(u"INSERT INTO [t] ([Name]) VALUES('" + name + u"');"), &id), S_OK);
        return id.utf8();
    }

    TempDir dir;
    ComPtr<IPimDbAccess> db;
};

// Walking a result set against a model of it, and field reads that end inside
// any buffer size (0 too), are the connection fuzz target's properties; row and column counts and field texts are what
// every test that reads the file back through the connection relies on (support/pim_fixture.h).
TEST_F(ConnectionTest, InsertGivesTheKeyAsDecimalTextAndSuccessLeavesTheErrorIdAlone) {
    EXPECT_EQ(InsertName(u"first"), "1");
    Bstr negative;
    ASSERT_EQ(db->Execute(nullptr, Bstr(u"INSERT INTO [t] ([ID], [Name]) VALUES(-9, 'x');"), &negative), S_OK);
    EXPECT_EQ(negative.utf8(), "-9");
    LONG err = kUntouched, rows = -1, cols = -1;
    LONGLONG vm = 0;
    ASSERT_EQ(db->Query(&err, Bstr(u"SELECT [ID], [Name] FROM [t] ORDER BY [ID] DESC;"), &rows, &cols, &vm), S_OK);
    USHORT buf[64];
    ASSERT_EQ(db->GetFieldValue(&err, &vm, 1, buf, 64), S_OK);
    ASSERT_EQ(db->FreeResultset(&err, &vm), S_OK);
    EXPECT_EQ(err, kUntouched);
}

// SQL NULL reads as empty text from the engine on (tests/engine).
TEST_F(ConnectionTest, FieldTextIsCutToTheBuffer) {
    std::u16string forty(40, u'x');
    for (int i = 0; i < 40; ++i) forty[i] = static_cast<char16_t>(u'a' + i % 26);
    InsertName(forty);
    LONG err = kUntouched, rows, cols;
    LONGLONG vm = 0;
    ASSERT_EQ(db->Query(&err, Bstr(u"SELECT [Name] FROM [t];"), &rows, &cols, &vm), S_OK);
    USHORT buf[20]{};
    ASSERT_EQ(db->GetFieldValue(&err, &vm, 0, buf, 16), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buf)), forty.substr(0, 15));
    db->FreeResultset(nullptr, &vm);
}

// Every failure pairing of the connection: error ID and status together.
TEST(ConnectionFailures, ReportTheirErrorIdWithTheirStatus) {
    TempDir dir;
    ComPtr<IPimDbAccess> closed = NewConnection();
    ComPtr<IPimDbAccess> open = NewConnection();
    ASSERT_EQ(open->OpenPimDatabase(nullptr, nullptr, nullptr, dir.bstr("x.db")), S_OK);
    LONGLONG garbage = 0x123456789LL, vm = 0;
    LONG rows, cols;
    USHORT buf[8];
    VARIANT_BOOL vb;
    Bstr sql(u"SELECT 1;"), empty(u""), notSql(u"NOT SQL AT ALL"), noTable(u"SELECT * FROM [nope];");

    struct Outcome {
        LONG id;
        HRESULT hr;
    };
    const Outcome kInvalid{PIMERR_INVALID_ARGUMENT, E_INVALIDARG}, kClosed{PIMERR_NOT_CONNECTED, E_UNEXPECTED};
    const Outcome kUnknownSlot{PIMERR_UNEXPECTED, E_UNEXPECTED}, kQueryFailed{PIMERR_QUERY_FAILED, E_FAIL};
    const Outcome kExecuteFailed{PIMERR_EXECUTE_FAILED, E_FAIL}, kFreeFailed{PIMERR_FREE_FAILED, E_FAIL};
    struct Case {
        const char* what;
        std::function<HRESULT(LONG*)> call;
        Outcome expected;
    };
    const Case cases[] = {
        {"open, no file", [&](LONG* e) { return closed->OpenPimDatabase(e, nullptr, nullptr, nullptr); }, kInvalid},
        {"open, empty file", [&](LONG* e) { return closed->OpenPimDatabase(e, nullptr, nullptr, empty); }, kInvalid},
        {"IsOpen without out-pointer", [&](LONG* e) { return closed->IsOpenPimDatabase(e, nullptr); }, kInvalid},
        {"Execute empty SQL, closed", [&](LONG* e) { return closed->Execute(e, empty, nullptr); }, kInvalid},
        {"Execute NULL SQL", [&](LONG* e) { return open->Execute(e, nullptr, nullptr); }, kInvalid},
        {"Execute before open", [&](LONG* e) { return closed->Execute(e, sql, nullptr); }, kClosed},
        {"Execute bad SQL", [&](LONG* e) { return open->Execute(e, notSql, nullptr); }, kExecuteFailed},
        {"Query without row count", [&](LONG* e) { return open->Query(e, sql, nullptr, &cols, &vm); }, kInvalid},
        {"Query without column count", [&](LONG* e) { return open->Query(e, sql, &rows, nullptr, &vm); }, kInvalid},
        {"Query without slot", [&](LONG* e) { return open->Query(e, sql, &rows, &cols, nullptr); }, kInvalid},
        {"Query before open", [&](LONG* e) { return closed->Query(e, sql, &rows, &cols, &vm); }, kClosed},
        {"Query of a missing table", [&](LONG* e) { return open->Query(e, noTable, &rows, &cols, &vm); }, kQueryFailed},
        {"Reset without slot", [&](LONG* e) { return open->Reset(e, nullptr); }, kInvalid},
        {"Reset before open", [&](LONG* e) { return closed->Reset(e, &garbage); }, kClosed},
        {"Reset of a slot the engine never gave", [&](LONG* e) { return open->Reset(e, &garbage); }, kUnknownSlot},
        {"NextRow without slot", [&](LONG* e) { return open->NextRow(e, nullptr); }, kInvalid},
        {"NextRow before open", [&](LONG* e) { return closed->NextRow(e, &garbage); }, kClosed},
        {"NextRow of a slot the engine never gave", [&](LONG* e) { return open->NextRow(e, &garbage); }, kUnknownSlot},
        {"IsEOF without slot", [&](LONG* e) { return open->IsEOF(e, nullptr, &vb); }, kInvalid},
        {"IsEOF without out-pointer", [&](LONG* e) { return open->IsEOF(e, &garbage, nullptr); }, kInvalid},
        {"IsEOF before open", [&](LONG* e) { return closed->IsEOF(e, &garbage, &vb); }, kClosed},
        {"GetFieldValue without slot", [&](LONG* e) { return open->GetFieldValue(e, nullptr, 0, buf, 8); }, kInvalid},
        {"GetFieldValue, no buffer", [&](LONG* e) { return open->GetFieldValue(e, &garbage, 0, nullptr, 8); },
         kInvalid},
        {"GetFieldValue before open", [&](LONG* e) { return closed->GetFieldValue(e, &garbage, 0, buf, 8); }, kClosed},
        {"FreeResultset without slot", [&](LONG* e) { return open->FreeResultset(e, nullptr); }, kInvalid},
        {"FreeResultset before open", [&](LONG* e) { return closed->FreeResultset(e, &garbage); }, kClosed},
        {"FreeResultset of an unknown slot", [&](LONG* e) { return open->FreeResultset(e, &garbage); }, kFreeFailed},
    };
    for (const auto& c : cases) {
        LONG err = kUntouched;
        EXPECT_EQ(c.call(&err), c.expected.hr) << c.what;
        EXPECT_EQ(err, c.expected.id) << c.what;
        // A NULL error-ID pointer changes nothing but the report's target.
        EXPECT_EQ(c.call(nullptr), c.expected.hr) << c.what << " (NULL plErrorID)";
    }
}

TEST(ConnectionLifecycle, FailedOpenLeavesItClosedCloseNeverFailsAndTextsAreNotCut) {
    TempDir dir;
    ComPtr<IPimDbAccess> db = NewConnection();
    LONG err = kUntouched;
    EXPECT_EQ(db->ClosePimDatabase(&err), S_OK) << "close of a closed connection";
    ASSERT_EQ(db->OpenPimDatabase(&err, nullptr, nullptr, dir.bstr("ok.db")), S_OK);
    VARIANT_BOOL open = VARIANT_FALSE;
    ASSERT_EQ(db->IsOpenPimDatabase(&err, &open), S_OK);
    EXPECT_EQ(open, VARIANT_TRUE);
    EXPECT_EQ(db->OpenPimDatabase(&err, nullptr, nullptr, dir.bstr("missing/dir/x.db")), E_FAIL);
    EXPECT_EQ(err, PIMERR_OPEN_FAILED);
    ASSERT_EQ(db->IsOpenPimDatabase(&err, &open), S_OK);
    EXPECT_EQ(open, VARIANT_FALSE);
    EXPECT_EQ(db->ClosePimDatabase(&err), S_OK);
    EXPECT_EQ(db->ClosePimDatabase(&err), S_OK);

    // Texts with zero units never reach the engine cut short.
    std::u16string name = Utf8ToUtf16(dir.file("a.db").string()) + u'\0' + u"b";
    EXPECT_EQ(db->OpenPimDatabase(&err, nullptr, nullptr, Bstr(name)), E_FAIL);
    EXPECT_EQ(err, PIMERR_OPEN_FAILED);
    ASSERT_EQ(db->OpenPimDatabase(&err, nullptr, nullptr, dir.bstr("b.db")), S_OK);
    std::u16string sql = u"CREATE TABLE [x] ([a]);" + std::u16string(1, u'\0') + u"DROP TABLE [x];";
    EXPECT_EQ(db->Execute(&err, Bstr(sql), nullptr), E_FAIL);
    EXPECT_EQ(err, PIMERR_EXECUTE_FAILED);
}

TEST(ConnectionTrace, LifetimeAndOpenTextsArriveExactly) {
    TempDir dir;
    TraceRecorder recorder;
    {
        ComPtr<IPimDbAccess> db = NewConnection();
        db->OpenPimDatabase(nullptr, nullptr, nullptr, dir.bstr("missing/x.db"));
        db->OpenPimDatabase(nullptr, nullptr, nullptr, dir.bstr("t.db"));
        db->ClosePimDatabase(nullptr);
    }
    const std::vector<std::string> expected = {
        "CPimDbAccess::CPimDbAccess.[ENTER]",    "CPimDbAccess::FinalConstruct.[ENTER]",
        "CPimDbAccess::OpenPimDatabase.[ENTER]", "CPimDbAccess::OpenPimDatabase.[FAIL]",
        "CPimDbAccess::OpenPimDatabase.[ENTER]", "CPimDbAccess::OpenPimDatabase.[Success]",
        "CPimDbAccess::FinalRelease.[ENTER]",    "CPimDbAccess::~CPimDbAccess.[ENTER]",
    };
    auto texts = recorder.texts();
    EXPECT_EQ(texts, expected);
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[2].size(), 37u) << "cbData must be the text's length without a NUL";
    for (ULONG_PTR d : recorder.dwData()) EXPECT_EQ(d, 0u);
}

}  // namespace
}  // namespace calyra::test
