// A database with the full schema for one test, and access objects wired
// to it the way the management object wires them.
//
//   PimDatabase db;                       // temp file, schema created
//   auto contacts = db.Create<CContactAccess, IContactAccess>(u"1");
//   db.Exec(u"INSERT INTO [tAlbum] ...");  // rows the component never writes
//
// With CALYRA_TEST_SIDE_STATE set, each database also holds the client's
// side tables with rows (support/side_state.h).
//
// Objects are created directly (CreateComInstance) so the access classes
// can be tested without the module; the server tests cover creation
// through the registry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/pim_db_access.h"
#include "idl/owned_record.h"
#include "management/schema_upgrade.h"
#include "platform/com_ptr.h"
#include "support/side_state.h"
#include "support/temp_dir.h"
#include "support/test_values.h"
#include "tables/value_conversions.h"

namespace calyra::test {

// Every row of a query through `db`, each field as the connection reads it
// (8192 units at most); the query must succeed.
inline std::vector<std::vector<std::u16string>> QueryTexts(IPimDbAccess* db, std::u16string_view sql) {
    std::vector<std::vector<std::u16string>> out;
    LONG rows = 0, cols = 0;
    LONGLONG vm = 0;
    EXPECT_EQ(db->Query(nullptr, Bstr(sql), &rows, &cols, &vm), S_OK) << Utf16ToUtf8(sql);
    std::vector<USHORT> buf(8192);
    for (LONG r = 0; r < rows; ++r) {
        auto& row = out.emplace_back();
        for (LONG c = 0; c < cols; ++c) {
            db->GetFieldValue(nullptr, &vm, c, buf.data(), static_cast<ULONG>(buf.size()));
            row.emplace_back(reinterpret_cast<const char16_t*>(buf.data()));
        }
        db->NextRow(nullptr, &vm);
    }
    db->FreeResultset(nullptr, &vm);
    return out;
}

// A new connection object, not yet open.
inline ComPtr<IPimDbAccess> NewConnection() {
    ComPtr<IPimDbAccess> db;
    EXPECT_EQ(CreateComInstance<CPimDbAccess>(nullptr, IID_IPimDbAccess, reinterpret_cast<void**>(&db)), S_OK);
    return db;
}

class PimDatabase {
public:
    PimDatabase() : m_db(NewConnection()) {
        EXPECT_EQ(m_db->OpenPimDatabase(nullptr, nullptr, nullptr, m_dir.bstr("pim.db")), S_OK);
        OptimizePimDatabasePerformance(m_db.get());
        UpdatePimDatabase(m_db.get());
        if (SideStateWanted()) AddSideState(m_db.get());
    }

    IPimDbAccess* db() const { return m_db.get(); }
    const TempDir& dir() const { return m_dir; }

    // A new object of class T, wired with the connection (or `connection`,
    // e.g. a recorder in front of it) and, when the interface has one, the
    // profile ID; NULL profileID skips SetProfileID.
    template <class T, class I>
    ComPtr<I> Create(const char16_t* profileID = u"1", IPimDbAccess* connection = nullptr) const {
        ComPtr<I> object;
        EXPECT_EQ(CreateComInstance<T>(nullptr, IidOf<I>(), reinterpret_cast<void**>(&object)), S_OK);
        object->SetPimDbAccess(nullptr, connection ? connection : m_db.get());
        if constexpr (requires(I * i) { i->SetProfileID(nullptr, BSTR{}); }) {
            if (profileID) object->SetProfileID(nullptr, Bstr(profileID));
        }
        return object;
    }

    // Runs a statement the component itself would never run (fixtures).
    void Exec(const std::u16string& sql) const {
        ASSERT_EQ(m_db->Execute(nullptr, Bstr(sql), nullptr), S_OK) << Utf16ToUtf8(sql);
    }

    // The rows of a query as UTF-8 texts.
    std::vector<std::vector<std::string>> Rows(const std::u16string& sql) const {
        std::vector<std::vector<std::string>> out;
        for (const auto& row : QueryTexts(m_db.get(), sql)) {
            auto& texts = out.emplace_back();
            for (const auto& field : row) texts.push_back(Utf16ToUtf8(field));
        }
        return out;
    }

    // The single value of a one-row, one-column query ("" when none).
    std::string Value(const std::u16string& sql) const {
        auto rows = Rows(sql);
        return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
    }

private:
    TempDir m_dir;
    ComPtr<IPimDbAccess> m_db;  // after m_dir, which names its file
};

// A record's text as UTF-8 (NULL reads as empty).
inline std::string Text(BSTR b) { return BstrUtf8(b); }

// One text field of every record a list call hands out, in its order; the
// call must succeed and its array hold exactly the records it counts. `list(&n, &array)` is the operation with its
// other arguments bound, e.g.
//   TextsOf(&tagTaskInfo::bstrSubject, [&](LONG* n, SAFEARRAY** a) { return tasks->GetAllTasks(nullptr, n, a); })
template <class Record, class List>
std::vector<std::string> TextsOf(BSTR Record::*field, List list) {
    OwnedRecordArray<Record> all;
    LONG n = -1;
    EXPECT_EQ(list(&n, &all), S_OK);
    EXPECT_EQ(all.size(), n) << "the array holds exactly the records listed";
    std::vector<std::string> texts;
    for (LONG i = 0; i < n; ++i) texts.push_back(Text(all[i].*field));
    return texts;
}

// Lists through `(object->*list)(nullptr, args..., &n, &out)`; the call must
// succeed and `out` hold exactly the records it counts. The count (-1 when
// the call left it unset).
template <class Record, class I, class List, class... Args>
LONG ListInto(OwnedRecordArray<Record>& out, I* object, List list, const Args&... args) {
    LONG n = -1;
    EXPECT_EQ((object->*list)(nullptr, args..., &n, &out), S_OK);
    EXPECT_EQ(out.size(), n) << "the array holds exactly the records listed";
    return n;
}

// A new contact with these names, added through `contacts`; its ID. The add
// must succeed.
inline std::string AddContact(IContactAccess* contacts, std::u16string_view lastName,
                              std::u16string_view firstName = u"") {
    OwnedRecord<tagContactInfo> info;
    SetText(info.bstrLastName, lastName);
    SetText(info.bstrFirstName, firstName);
    Bstr id;
    EXPECT_EQ(contacts->AddContact(nullptr, &info, &id), S_OK);
    return id.utf8();
}

// A date as the component writes it into its statements.
inline std::string DateText(DATE d) {
    OLECHAR buffer[kValueTextUnits];
    return Utf16ToUtf8(AsU16(DateToText(d, buffer, kValueTextUnits)));
}

// Record owners under the names the tests grew up with.
template <class Record>
using RecordHolder = OwnedRecord<Record>;
template <class Record>
using RecordArray = OwnedRecordArray<Record>;

}  // namespace calyra::test
