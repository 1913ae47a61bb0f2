// The connection object through IPimDbAccess, as a client calls it; then
// its internal row reader (IPimDbRows) and the field conversion the access
// objects use with it. Clients never see either: they must give every record
// exactly what Query and GetFieldValue give.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "core/pim_data_access.h"
#include "core/pim_db_access.h"
#include "core/pim_error.h"
#include "core/row_fields.h"
#include "platform/com_ptr.h"
#include "support/pim_fixture.h"
#include "support/temp_dir.h"
#include "support/test_values.h"
#include "support/trace_recorder.h"
#include "tables/field_map.h"

namespace calyra::test {
namespace {

struct Fields {
    BSTR text;
    LONG number;
    DATE date;
    LONG flag;
};

constexpr FieldMap kFields[] = {
    {u"[V]", FieldKind::Text, offsetof(Fields, text), 0},
    {u"[V]", FieldKind::Long, offsetof(Fields, number), 0},
    {u"[V]", FieldKind::Date, offsetof(Fields, date), 0},
    {u"[V]", FieldKind::Flag, offsetof(Fields, flag), 0},
};

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = NewConnection();
        LONG err = kUntouched;
        ASSERT_EQ(db->OpenPimDatabase(&err, Bstr(u"user"), Bstr(u"pwd"), dir.bstr("pim.db")), S_OK);
        ASSERT_EQ(err, kUntouched) << "a successful open wrote the error ID";
        void* p = nullptr;
        ASSERT_EQ(db->QueryInterface(IID_IPimDbRows, &p), S_OK);
        rows = ComPtr<IPimDbRows>::Attach(static_cast<IPimDbRows*>(p));
        Exec(u"CREATE TABLE [t] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, [Name] VARCHAR(64) NULL, [V] TEXT);");
    }
    void Exec(const std::u16string& sql) {
        ASSERT_EQ(db->Execute(nullptr, Bstr(sql), nullptr), S_OK) << Utf16ToUtf8(sql);
    }
    std::string InsertName(const std::u16string& name) {
        Bstr id;
        EXPECT_EQ(db->Execute(nullptr, Bstr(u"INSERT INTO [t] ([Name]) VALUES('" + name + u"');"), &id), S_OK);
        return id.utf8();
    }

    // Every row's [V] through Query and GetFieldValue, the way a client reads.
    std::vector<Fields> ReadThroughQuery() {
        std::vector<Fields> out;
        LONG n = 0, columns = 0;
        LONGLONG vm = 0;
        EXPECT_EQ(db->Query(nullptr, Bstr(u"SELECT [V] FROM [t] ORDER BY [ID]"), &n, &columns, &vm), S_OK);
        std::vector<OLECHAR> buffer(kScratchUnits);
        for (LONG r = 0; r < n; ++r, db->NextRow(nullptr, &vm)) {
            Fields f{};
            db->GetFieldValue(nullptr, &vm, 0, reinterpret_cast<USHORT*>(buffer.data()), kScratchUnits);
            for (const FieldMap& field : kFields) StoreFieldText(&f, field, buffer.data());
            out.push_back(f);
        }
        db->FreeResultset(nullptr, &vm);
        return out;
    }

    // The same through the row reader and StoreFieldUtf8.
    std::vector<Fields> ReadAsStepped() {
        std::vector<Fields> out;
        LONGLONG vm = 0;
        EXPECT_EQ(rows->OpenRows(nullptr, Bstr(u"SELECT [V] FROM [t] ORDER BY [ID]"), &vm), S_OK);
        LONG read = -1;
        EXPECT_EQ(rows->ReadRows(
                      nullptr, &vm, 1000,
                      [](void* c, LONG, const char* const* texts, const LONG* bytes) -> LONG {
                          OLECHAR scratch[kScratchUnits];
                          Fields f{};
                          for (const FieldMap& field : kFields)
                              StoreFieldUtf8(&f, field, texts[0], static_cast<size_t>(bytes[0]), scratch,
                                             kScratchUnits);
                          static_cast<std::vector<Fields>*>(c)->push_back(f);
                          return 0;
                      },
                      &out, &read),
                  S_OK);
        EXPECT_EQ(read, static_cast<LONG>(out.size()));
        db->FreeResultset(nullptr, &vm);
        return out;
    }

    TempDir dir;
    ComPtr<IPimDbAccess> db;
    ComPtr<IPimDbRows> rows;
};

// Walking a result set against a model of it, and field reads that end inside
// any buffer size (0 too), are the connection fuzz target's properties; row and column counts and field texts are what
// every test that reads the file back through the connection relies on (support/pim_fixture.h).
// SQL NULL reads as empty text from the engine on (tests/engine).
TEST_F(ConnectionTest, InsertGivesTheKeyAsDecimalTextFieldTextIsCutToTheBufferAndSuccessLeavesTheErrorIdAlone) {
    std::u16string forty(40, u'x');
    for (int i = 0; i < 40; ++i) forty[i] = static_cast<char16_t>(u'a' + i % 26);
    EXPECT_EQ(InsertName(forty), "1");
    Bstr negative;
    ASSERT_EQ(db->Execute(nullptr, Bstr(u"INSERT INTO [t] ([ID], [Name]) VALUES(-9, 'x');"), &negative), S_OK);
    EXPECT_EQ(negative.utf8(), "-9");
    LONG err = kUntouched, rows = -1, cols = -1;
    LONGLONG vm = 0;
    ASSERT_EQ(db->Query(&err, Bstr(u"SELECT [ID], [Name] FROM [t] ORDER BY [ID] DESC;"), &rows, &cols, &vm), S_OK);
    USHORT buf[20]{};
    ASSERT_EQ(db->GetFieldValue(&err, &vm, 1, buf, 16), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buf)), forty.substr(0, 15));
    ASSERT_EQ(db->FreeResultset(&err, &vm), S_OK);
    EXPECT_EQ(err, kUntouched);
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
        EXPECT_EQ(std::pair(c.call(&err), err), std::pair(c.expected.hr, c.expected.id)) << c.what;
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
    EXPECT_EQ(std::pair(db->OpenPimDatabase(&err, nullptr, nullptr, dir.bstr("missing/dir/x.db")), err),
              std::pair(E_FAIL, PIMERR_OPEN_FAILED));
    ASSERT_EQ(db->IsOpenPimDatabase(&err, &open), S_OK);
    EXPECT_EQ(open, VARIANT_FALSE);
    EXPECT_EQ(db->ClosePimDatabase(&err), S_OK);
    EXPECT_EQ(db->ClosePimDatabase(&err), S_OK);

    // Texts with zero units never reach the engine cut short.
    std::u16string name = Utf8ToUtf16(dir.file("a.db").string()) + u'\0' + u"b";
    EXPECT_EQ(std::pair(db->OpenPimDatabase(&err, nullptr, nullptr, Bstr(name)), err),
              std::pair(E_FAIL, PIMERR_OPEN_FAILED));
    ASSERT_EQ(db->OpenPimDatabase(&err, nullptr, nullptr, dir.bstr("b.db")), S_OK);
    std::u16string sql = u"CREATE TABLE [x] ([a]);" + std::u16string(1, u'\0') + u"DROP TABLE [x];";
    EXPECT_EQ(std::pair(db->Execute(&err, Bstr(sql), nullptr), err), std::pair(E_FAIL, PIMERR_EXECUTE_FAILED));
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

// ---- The row reader ----------------------------------------------------------------

void Free(std::vector<Fields>& fields) {
    for (Fields& f : fields) SysFreeString(f.text);
}

TEST_F(ConnectionTest, RowReaderFieldsReadAsSteppedEqualFieldsReadThroughGetFieldValue) {
    // SQL literals of the stored values: texts, numbers and dates as a
    // client may have written them, text that is not UTF-8, zero bytes and
    // texts past the 2048 units a field holds; `run` quotes n units c and a tail.
    auto run = [](size_t n, char16_t c, std::u16string tail = u"") {
        return u"'" + std::u16string(n, c) + tail + u"'";
    };
    std::vector<std::u16string> values({u"''", u"NULL", u"'plain text'", u"'Zoë Müller-Lüdenscheidt 日本'",
                                        u"'\U0001F600 and more'", u"CAST(X'41C3' AS TEXT)",
                                        u"CAST(X'FF80E282' AS TEXT)", u"CAST(X'610062' AS TEXT)", u"' -42abc'", u"'+1'",
                                        u"'1'", u"'99999999999999'", u"-2147483648", u"'2020-03-01 12:34:56'",
                                        u"'2020-3-1  7:5:9'", u"'1899-12-30 00:00:00'", u"'x2020-01-01'"});
    values.insert(values.end(),
                  {run(3000, u'7'), run(2047, u'a', u"é"), run(2047, u'a', u"\U0001F600"), run(3000, u'ö')});
    for (const std::u16string& value : values) Exec(u"INSERT INTO [t] ([V]) VALUES(" + value + u");");

    std::vector<Fields> expected = ReadThroughQuery();
    std::vector<Fields> actual = ReadAsStepped();
    ASSERT_EQ(actual.size(), values.size());
    ASSERT_EQ(expected.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(Utf16ToUtf8(values[i].substr(0, 40)));
        ASSERT_NE(actual[i].text, nullptr) << "a client would have seen a NULL text";
        EXPECT_EQ(std::u16string(AsU16(actual[i].text), SysStringLen(actual[i].text)),
                  std::u16string(AsU16(expected[i].text), SysStringLen(expected[i].text)));
        EXPECT_EQ(std::tie(actual[i].number, actual[i].date, actual[i].flag),
                  std::tie(expected[i].number, expected[i].date, expected[i].flag));
    }
    Free(expected);
    Free(actual);
}

TEST_F(ConnectionTest, RowReaderReadsGoOnWhereTheLastStoppedAndASortedQueryKeepsRowsDeletedMeanwhile) {
    for (int i = 1; i <= 5; ++i) {
        const std::u16string n = Utf8ToUtf16(std::to_string(i));
        Exec(u"INSERT INTO [t] ([ID], [V]) VALUES(" + n + u", '" + n + u"');");
    }
    LONGLONG vm = 0;
    // No index orders [V]: SQLite sorts every row at the first step.
    ASSERT_EQ(rows->OpenRows(nullptr, Bstr(u"SELECT [V] FROM [t] ORDER BY [V] DESC"), &vm), S_OK);
    std::string seen;
    auto sink = [](void* c, LONG, const char* const* texts, const LONG*) -> LONG {
        *static_cast<std::string*>(c) += texts[0];
        return 0;
    };
    LONG read = 0;
    ASSERT_EQ(rows->ReadRows(nullptr, &vm, 2, sink, &seen, &read), S_OK);
    EXPECT_EQ(read, 2);
    Exec(u"DELETE FROM [t] WHERE [ID] <= 2;");  // rows not yet read
    ASSERT_EQ(rows->ReadRows(nullptr, &vm, 10, sink, &seen, &read), S_OK);
    EXPECT_EQ(read, 3);
    EXPECT_EQ(seen, "54321");
    // The nine result-set operations do not take a cursor's slot.
    LONG err = 0;
    EXPECT_NE(db->NextRow(&err, &vm), S_OK);
    EXPECT_EQ(db->FreeResultset(nullptr, &vm), S_OK);
    EXPECT_EQ(vm, 0);
}

TEST_F(ConnectionTest, RowReaderFailuresReadAsFailedQueries) {
    LONG err = 0;
    LONGLONG vm = 0;
    EXPECT_EQ(std::pair(rows->OpenRows(&err, Bstr(u"SELECT 1; SELECT 2;"), &vm), err),
              std::pair(E_FAIL, PIMERR_QUERY_FAILED));
    EXPECT_EQ(vm, 0);
    ASSERT_EQ(rows->OpenRows(nullptr, Bstr(u"SELECT [V] FROM [t]"), &vm), S_OK);
    // A closed connection ends the cursor with its handle.
    ASSERT_EQ(db->ClosePimDatabase(nullptr), S_OK);
    err = 0;
    LONG read = -1;
    auto sink = [](void*, LONG, const char* const*, const LONG*) -> LONG { return 0; };
    EXPECT_EQ(std::pair(rows->ReadRows(&err, &vm, 1, sink, nullptr, &read), err),
              std::pair(E_UNEXPECTED, PIMERR_NOT_CONNECTED));
    ASSERT_EQ(db->OpenPimDatabase(nullptr, nullptr, nullptr, dir.bstr("pim.db")), S_OK);
    err = 0;
    EXPECT_EQ(std::pair(rows->ReadRows(&err, &vm, 1, sink, nullptr, &read), err),
              std::pair(E_FAIL, PIMERR_QUERY_FAILED));
}

}  // namespace
}  // namespace calyra::test
