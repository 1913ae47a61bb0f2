// The connection object driven by a fuzzer: Execute, Query, row walks,
// field reads with any column and buffer size, frees (also twice, also of
// slots never handed out), resets and reopenings in any order, on two
// result sets at once, then writes and walks from two threads at once. Nothing may crash or write outside the caller's
// buffer; every status is one a client is told to expect; a walk gives
// exactly the rows Query counted; field texts always end inside the buffer.
#include <array>
#include <cstdint>
#include <string>
#include <thread>

#include "core/pim_db_access.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "platform/com_ptr.h"
#include "tables/sql_text.h"

namespace {

using calyra::Bstr;
using calyra::ComPtr;

bool Expected(HRESULT hr) { return hr == S_OK || hr == E_INVALIDARG || hr == E_UNEXPECTED || hr == E_FAIL; }

struct Slot {
    LONGLONG vm = 0;
    LONG rows = 0;
    LONG position = 0;  // rows passed by NextRow; meaningful while vm is live
    bool live = false;
};

calyra::SqlText Statement(std::uint8_t kind, const std::u16string& value) {
    // The text before the quoted value and after it; no "after": no value.
    static constexpr calyra::Sql kPieces[][2] = {
        {u"INSERT INTO [t] ([Name]) VALUES('", u"');"},
        {u"DELETE FROM [t] WHERE [Name] = '", u"';"},
        {u"UPDATE [t] SET [Name] = '", u"';"},
        {u"DELETE FROM [t];", {}},
        {u"CREATE TABLE IF NOT EXISTS [t] ([ID] INTEGER PRIMARY KEY, [Name] TEXT);", {}},
        {u"SELEKT '", u"';"},  // not SQL: must fail cleanly
    };
    const auto& [before, after] = kPieces[kind % 6];
    calyra::SqlText sql(before);
    if (!after.view().empty()) sql.AppendQuoted(value).Append(after);
    return sql;
}

// One of two threads sharing the connection: writes, and queries walked
// to their end. Whatever the other thread writes or deletes meanwhile, a
// walk gives exactly the rows its Query counted, and every field read ends
// inside the buffer.
void Concurrently(IPimDbAccess* db, calyra::fuzz::FuzzInput in) {
    LONG err = 0;
    for (int step = 0; step < 16 && !in.empty(); ++step) {
        const auto op = in.Take<std::uint8_t>();
        if (op % 2 == 0) {
            FUZZ_CHECK(Expected(db->Execute(&err, Statement(op >> 1, in.TakeText(20)).ToBstr(), nullptr)));
            continue;
        }
        LONG rows = 0, columns = 0;
        LONGLONG vm = 0;
        const HRESULT hr = db->Query(&err, Bstr(u"SELECT [Name], [ID] FROM [t];"), &rows, &columns, &vm);
        FUZZ_CHECK(Expected(hr));
        if (hr != S_OK) continue;
        for (LONG row = 0; row < rows; ++row) {
            std::array<USHORT, 16> buffer;
            FUZZ_CHECK(db->GetFieldValue(&err, &vm, row % 2, buffer.data(), 12) == S_OK && buffer[11] == 0);
            FUZZ_CHECK(db->NextRow(&err, &vm) == S_OK);
        }
        VARIANT_BOOL eof = 0;
        FUZZ_CHECK(db->IsEOF(&err, &vm, &eof) == S_OK && eof == VARIANT_TRUE);
        FUZZ_CHECK(db->FreeResultset(&err, &vm) == S_OK);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    calyra::fuzz::FuzzInput in(data, size);
    ComPtr<IPimDbAccess> db;
    FUZZ_CHECK(calyra::CreateComInstance<calyra::CPimDbAccess>(nullptr, IID_IPimDbAccess,
                                                               reinterpret_cast<void**>(&db)) == S_OK);
    LONG err = 0;
    const auto open = [&db, &err] {
        db->OpenPimDatabase(&err, Bstr(u"u"), Bstr(u"u"), Bstr(u":memory:"));
        db->Execute(nullptr, Bstr(u"CREATE TABLE [t] ([ID] INTEGER PRIMARY KEY, [Name] TEXT);"), nullptr);
    };
    open();

    std::array<Slot, 2> slots;
    // The first byte splits the input: so many steps on one thread, the
    // rest on two threads at once.
    const int steps = in.Take<std::uint8_t>() % 65;
    for (int step = 0; step < steps && !in.empty(); ++step) {
        auto op = in.Take<std::uint8_t>();
        Slot& s = slots[op >> 7];
        HRESULT hr = S_OK;  // checked after the step: a status a client is told to expect
        switch (op % 9) {
            case 0: {
                const auto kind = in.Take<std::uint8_t>();
                Bstr id;
                hr = db->Execute(&err, Statement(kind, in.TakeText(40)).ToBstr(), &id);
                break;
            }
            case 1: {
                if (s.live) db->FreeResultset(nullptr, &s.vm);
                LONG columns = 0;
                s = Slot{};
                hr = db->Query(&err, Bstr(u"SELECT [Name], [ID] FROM [t];"), &s.rows, &columns, &s.vm);
                s.live = hr == S_OK;
                if (s.live) FUZZ_CHECK(columns == 2 && s.rows >= 0);
                break;
            }
            case 2: {
                hr = db->NextRow(&err, &s.vm);
                if (s.live) {
                    // Exactly `rows` steps succeed, then the walk is over.
                    FUZZ_CHECK((hr == S_OK) == (s.position < s.rows));
                    if (hr == S_OK) ++s.position;
                }
                break;
            }
            case 3: {
                LONG field = static_cast<LONG>(in.Take<std::int8_t>() % 4);
                ULONG units = in.Take<std::uint8_t>() % 48;
                std::array<USHORT, 64> buffer;
                buffer.fill(0xBEEF);
                hr = db->GetFieldValue(&err, &s.vm, field, buffer.data(), units);
                for (size_t i = units; i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == 0xBEEF);
                if (hr == S_OK && units > 0) FUZZ_CHECK(buffer[units - 1] == 0);
                break;
            }
            case 4: {
                hr = db->FreeResultset(&err, &s.vm);
                if (s.live) FUZZ_CHECK(hr == S_OK);
                s.live = false;
                break;
            }
            case 5: {
                hr = db->Reset(&err, &s.vm);
                if (s.live && hr == S_OK) s.position = 0;
                VARIANT_BOOL eof = 0;
                FUZZ_CHECK(Expected(db->IsEOF(&err, &s.vm, &eof)));
                if (s.live) FUZZ_CHECK((eof == VARIANT_TRUE) == (s.position >= s.rows));
                break;
            }
            case 6: {
                // A slot value the engine never handed out is refused.
                LONGLONG garbage = in.Take<LONGLONG>();
                if (garbage == slots[0].vm || garbage == slots[1].vm) break;
                FUZZ_CHECK(db->NextRow(&err, &garbage) != S_OK || garbage == 0);
                USHORT buffer[8];
                db->GetFieldValue(&err, &garbage, 0, buffer, 8);
                FUZZ_CHECK(db->FreeResultset(&err, &garbage) != S_OK || garbage == 0);
                break;
            }
            case 7: {
                // Closing frees the result sets; their slots are stale now.
                FUZZ_CHECK(db->ClosePimDatabase(&err) == S_OK);
                for (Slot& each : slots) each.live = false;
                open();
                break;
            }
            default: {
                LONG rows = 0, columns = 0;
                LONGLONG vm = 0;
                hr = db->Query(&err, Bstr(in.TakeText(60)), &rows, &columns, &vm);
                db->FreeResultset(nullptr, &vm);
                break;
            }
        }
        FUZZ_CHECK(Expected(hr));
    }
    for (Slot& s : slots)
        if (s.live) db->FreeResultset(nullptr, &s.vm);
    // What the single-threaded steps left over drives two threads at once.
    if (!in.empty()) {
        std::thread other(Concurrently, db.get(), in.TakeHalf());
        Concurrently(db.get(), in);
        other.join();
    }
    db->ClosePimDatabase(nullptr);
    return 0;
}
