// The connection's internal row reader (IPimDbRows) and the field
// conversion the access objects use with it. Clients never see either: they
// must give every record exactly what Query and GetFieldValue give.
#include <gtest/gtest.h>

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
#include "tables/field_map.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::FieldKind;
using calyra::FieldMap;

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

class RowReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = calyra::test::NewConnection();
        ASSERT_EQ(db->OpenPimDatabase(nullptr, nullptr, nullptr, dir.bstr("rows.db")), S_OK);
        void* p = nullptr;
        ASSERT_EQ(db->QueryInterface(IID_IPimDbRows, &p), S_OK);
        rows = ComPtr<IPimDbRows>::Attach(static_cast<IPimDbRows*>(p));
        Exec(u"CREATE TABLE [t] ([ID] INTEGER PRIMARY KEY, [V] TEXT);");
    }
    void Exec(const std::u16string& sql) { ASSERT_EQ(db->Execute(nullptr, Bstr(sql), nullptr), S_OK); }

    // Every row's [V] through Query and GetFieldValue, the way a client reads.
    std::vector<Fields> ReadThroughQuery() {
        std::vector<Fields> out;
        LONG n = 0, columns = 0;
        LONGLONG vm = 0;
        EXPECT_EQ(db->Query(nullptr, Bstr(u"SELECT [V] FROM [t] ORDER BY [ID]"), &n, &columns, &vm), S_OK);
        std::vector<OLECHAR> buffer(calyra::kScratchUnits);
        for (LONG r = 0; r < n; ++r, db->NextRow(nullptr, &vm)) {
            Fields f{};
            db->GetFieldValue(nullptr, &vm, 0, reinterpret_cast<USHORT*>(buffer.data()), calyra::kScratchUnits);
            for (const FieldMap& field : kFields) calyra::StoreFieldText(&f, field, buffer.data());
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
        std::vector<OLECHAR> scratch(calyra::kScratchUnits);
        struct Sink {
            std::vector<Fields>* out;
            OLECHAR* scratch;
        } sink{&out, scratch.data()};
        LONG read = -1;
        EXPECT_EQ(rows->ReadRows(
                      nullptr, &vm, 1000,
                      [](void* c, LONG, const char* const* texts, const LONG* bytes) -> LONG {
                          auto* s = static_cast<Sink*>(c);
                          Fields f{};
                          for (const FieldMap& field : kFields)
                              calyra::StoreFieldUtf8(&f, field, texts[0], static_cast<size_t>(bytes[0]), s->scratch,
                                                     calyra::kScratchUnits);
                          s->out->push_back(f);
                          return 0;
                      },
                      &sink, &read),
                  S_OK);
        EXPECT_EQ(read, static_cast<LONG>(out.size()));
        db->FreeResultset(nullptr, &vm);
        return out;
    }

    calyra::test::TempDir dir;
    ComPtr<IPimDbAccess> db;
    ComPtr<IPimDbRows> rows;
};

void Free(std::vector<Fields>& fields) {
    for (Fields& f : fields) SysFreeString(f.text);
}

}  // namespace

TEST_F(RowReaderTest, FieldsReadAsSteppedEqualFieldsReadThroughGetFieldValue) {
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
        SCOPED_TRACE(calyra::Utf16ToUtf8(values[i].substr(0, 40)));
        ASSERT_NE(actual[i].text, nullptr) << "a client would have seen a NULL text";
        EXPECT_EQ(std::u16string(calyra::AsU16(actual[i].text), SysStringLen(actual[i].text)),
                  std::u16string(calyra::AsU16(expected[i].text), SysStringLen(expected[i].text)));
        EXPECT_EQ(std::tie(actual[i].number, actual[i].date, actual[i].flag),
                  std::tie(expected[i].number, expected[i].date, expected[i].flag));
    }
    Free(expected);
    Free(actual);
}

TEST_F(RowReaderTest, ReadsGoOnWhereTheLastStoppedAndASortedQueryKeepsRowsDeletedMeanwhile) {
    for (int i = 1; i <= 5; ++i) {
        const std::u16string n = calyra::Utf8ToUtf16(std::to_string(i));
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

TEST_F(RowReaderTest, FailuresReadAsFailedQueries) {
    LONG err = 0;
    LONGLONG vm = 0;
    EXPECT_EQ(rows->OpenRows(&err, Bstr(u"SELECT 1; SELECT 2;"), &vm), E_FAIL);
    EXPECT_EQ(err, PIMERR_QUERY_FAILED);
    EXPECT_EQ(vm, 0);
    ASSERT_EQ(rows->OpenRows(nullptr, Bstr(u"SELECT [V] FROM [t]"), &vm), S_OK);
    // A closed connection ends the cursor with its handle.
    ASSERT_EQ(db->ClosePimDatabase(nullptr), S_OK);
    err = 0;
    LONG read = -1;
    auto sink = [](void*, LONG, const char* const*, const LONG*) -> LONG { return 0; };
    EXPECT_EQ(rows->ReadRows(&err, &vm, 1, sink, nullptr, &read), E_UNEXPECTED);
    EXPECT_EQ(err, PIMERR_NOT_CONNECTED);
    ASSERT_EQ(db->OpenPimDatabase(nullptr, nullptr, nullptr, dir.bstr("rows.db")), S_OK);
    err = 0;
    EXPECT_EQ(rows->ReadRows(&err, &vm, 1, sink, nullptr, &read), E_FAIL);
    EXPECT_EQ(err, PIMERR_QUERY_FAILED);
}
