// What every interface of the type library shares, checked once for all of
// them by walking the library's run-time description and calling each
// method through IDispatch with arguments built from its parameters:
// DISPIDs and dispatch, the answer without a connection, NULL pointers,
// quotes and injected IDs, and the lifetime traces of the access objects.
//
// Then what every record family shares, one table row per family: a record
// with its own value in every field (filled through the type library's
// description) is written, rewritten by ID, and must come back field for
// field from every read of the family; the time stamps are the times of the
// writes. And one table of the argument rules that differ from family to
// family (required texts, list sizes, membership modes). What else differs
// between families (statements, cascades) is tested beside each family.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "access/calendar/event_access.h"
#include "access/calendar/event_category_access.h"
#include "access/contacts/contact_access.h"
#include "access/contacts/contact_group_access.h"
#include "access/playstats/most_frequently_played_music.h"
#include "access/playstats/most_frequently_played_podcast.h"
#include "access/profiles/profile_access.h"
#include "access/sync/sync_option.h"
#include "access/tasks/task_access.h"
#include "idl/typelib_description.h"
#include "platform/record_info.h"
#include "support/automation.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
#include "support/recording_connection.h"
#include "support/test_values.h"
#include "support/trace_recorder.h"

namespace calyra::test {
namespace {

// ---- The classes, one per interface ---------------------------------------------

struct ClassEntry {
    const IID* iid;
    const char* name;
    HRESULT (*create)(IDispatch**);  // NULL: needs the registered module (the server tests create it)
    const DispatchTable& (*table)();
    bool access;         // bound to a connection through SetPimDbAccess
    bool tracesOwnName;  // sends "CXxx::CXxx.[ENTER]" besides the base's texts
};

template <class T>
HRESULT Make(IDispatch** out) {
    return CreateComInstance<T>(nullptr, IID_IDispatch, reinterpret_cast<void**>(out));
}

const ClassEntry kClasses[] = {
    {&IID_IPimDbAccess, "CPimDbAccess", &Make<CPimDbAccess>, &DispatchTableOf<IPimDbAccess>, false, false},
    {&IID_IPimManagement, "CPimManagement", nullptr, &DispatchTableOf<IPimManagement>, false, false},
    {&IID_IProfileAccess, "CProfileAccess", &Make<CProfileAccess>, &DispatchTableOf<IProfileAccess>, true, true},
    {&IID_IContactAccess, "CContactAccess", &Make<CContactAccess>, &DispatchTableOf<IContactAccess>, true, true},
    {&IID_IContactGroupAccess, "CContactGroupAccess", &Make<CContactGroupAccess>, &DispatchTableOf<IContactGroupAccess>,
     true, true},
    {&IID_IEventAccess, "CEventAccess", &Make<CEventAccess>, &DispatchTableOf<IEventAccess>, true, true},
    {&IID_IEventCategoryAccess, "CEventCategoryAccess", &Make<CEventCategoryAccess>,
     &DispatchTableOf<IEventCategoryAccess>, true, true},
    {&IID_ITaskAccess, "CTaskAccess", &Make<CTaskAccess>, &DispatchTableOf<ITaskAccess>, true, true},
    {&IID_ISyncOption, "CSyncOption", &Make<CSyncOption>, &DispatchTableOf<ISyncOption>, true, false},
    {&IID_IMostFrequentlyPlayedMusic, "CMostFrequentlyPlayedMusic", &Make<CMostFrequentlyPlayedMusic>,
     &DispatchTableOf<IMostFrequentlyPlayedMusic>, true, false},
    {&IID_IMostFrequentlyPlayedPodcast, "CMostFrequentlyPlayedPodcast", &Make<CMostFrequentlyPlayedPodcast>,
     &DispatchTableOf<IMostFrequentlyPlayedPodcast>, true, false},
};

bool Named(const MethodDesc& m, std::string_view prefix) { return std::string_view(m.name).starts_with(prefix); }
bool IsWiring(const MethodDesc& m) { return Named(m, "SetPimDbAccess") || Named(m, "SetProfileID"); }
bool IsByIndex(const MethodDesc& m) { return std::string_view(m.name).ends_with("ByIndex"); }
bool IsPointer(const ParamDesc& p) { return (p.vt & VT_BYREF) || p.vt == VT_DISPATCH; }

// ---- One call's arguments, built from the method's description -------------------

struct ArgValues {
    BSTR text = nullptr;        // every text argument
    BSTR recordText = nullptr;  // every text field of every record argument
    IDispatch* connection = nullptr;
    size_t nullParam = 0;  // this pointer parameter goes as NULL (0: none)
};

// Owns what its arguments point at. Out numbers start as kUntouched.
class Arguments {
public:
    Arguments(const MethodDesc& method, const ArgValues& values) {
        m_args.push_back(Ref(VT_I4, &errorId));
        for (size_t i = 1; i < method.paramCount; ++i) {
            const ParamDesc& p = method.params[i];
            if (p.dir == ParamDir::RetVal) continue;
            m_args.push_back(i == values.nullParam ? MakeVariant(VT_EMPTY) : Make(p, values));
        }
    }
    ~Arguments() {
        for (auto& r : m_records) RecordClearByDescription(r.desc, r.data.get());
        for (SAFEARRAY** a : m_arrays) SafeArrayDestroy(*a);
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    HRESULT Invoke(IDispatch* object, DISPID id, Variant* result) {
        return Automation(object).Invoke(id, m_args, result);
    }
    // The values the method wrote into its out numbers (LONG*).
    const std::vector<LONG*>& outLongs() const { return m_outLongs; }

    LONG errorId = kUntouched;

private:
    struct OwnedRecord {
        const RecordDesc* desc;
        std::unique_ptr<std::byte[]> data;
        ComPtr<IRecordInfo> info;
    };
    struct alignas(16) Slot {
        std::byte bytes[512];
    };

    static void FillTexts(const RecordDesc& desc, std::byte* record, BSTR text) {
        for (size_t i = 0; i < desc.fieldCount; ++i) {
            const FieldDesc& f = desc.fields[i];
            if (f.vt == VT_BSTR) {
                *reinterpret_cast<BSTR*>(record + f.offset) = SysAllocStringLen(text, SysStringLen(text));
            }
            if (f.vt == VT_RECORD) FillTexts(*f.record, record + f.offset, text);
        }
    }

    VARIANT Make(const ParamDesc& p, const ArgValues& values) {
        if (p.vt == (VT_RECORD | VT_BYREF)) {
            OwnedRecord& r = m_records.emplace_back(
                OwnedRecord{p.record, std::make_unique<std::byte[]>(p.record->size), ComPtr<IRecordInfo>()});
            std::memset(r.data.get(), 0, p.record->size);
            FillTexts(*p.record, r.data.get(), values.recordText);
            CreateRecordInfo(p.record, &r.info);
            return RecordArg(r.data.get(), r.info.get());
        }
        if (p.vt & VT_BYREF) {
            Slot& slot = m_slots.emplace_back();
            std::memset(slot.bytes, 0, sizeof slot.bytes);
            if (p.vt == (VT_I4 | VT_BYREF)) {
                auto* number = reinterpret_cast<LONG*>(slot.bytes);
                *number = kUntouched;
                if (p.dir == ParamDir::Out) m_outLongs.push_back(number);
            }
            if (p.vt & VT_ARRAY) m_arrays.push_back(reinterpret_cast<SAFEARRAY**>(slot.bytes));
            return Ref(p.vt, slot.bytes);
        }
        switch (p.vt) {
            case VT_BSTR:
                return TextArg(values.text);
            case VT_DISPATCH:
                return values.connection ? Object(values.connection) : MakeVariant(VT_EMPTY);
            case VT_BOOL:
                return MakeVariant(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; });
            case VT_DATE:
                return MakeVariant(VT_DATE, [](VARIANT& v) { v.date = 40000.5; });
            default:  // the first index; kinds and list sizes: 1 is valid for each
                return Long(std::string_view(p.name) == "lIndex" ? 0 : 1);
        }
    }

    std::vector<VARIANT> m_args;
    std::deque<OwnedRecord> m_records;
    std::deque<Slot> m_slots;
    std::vector<SAFEARRAY**> m_arrays;
    std::vector<LONG*> m_outLongs;
};

// ---- Objects wired to a database --------------------------------------------------

// Calls `each(object, method)` for every method of every access class, the
// wiring ones only `withWiring`, inside a trace naming the method; the
// object is wired to `db` for profile `profileID`, or is a new unwired one
// without `db`.
template <class Each>
void ForEachAccessMethod(const PimDatabase* db, const char16_t* profileID, bool withWiring, Each each) {
    for (const ClassEntry& entry : kClasses) {
        if (!entry.access) continue;
        ComPtr<IDispatch> object, connection;
        ASSERT_EQ(entry.create(&object), S_OK) << entry.name;
        if (db) {  // wired through automation, as a script wires it
            db->db()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&connection));
            Automation a(object.get());
            LONG errorId = 0;
            const Bstr profile(profileID);
            EXPECT_EQ(a.Call(u"SetPimDbAccess", {Ref(VT_I4, &errorId), Object(connection.get())}), S_OK);
            if (a.IdOf(u"SetProfileID") != DISPID_UNKNOWN) {
                EXPECT_EQ(a.Call(u"SetProfileID", {Ref(VT_I4, &errorId), TextArg(profile)}), S_OK);
            }
        }
        const InterfaceDesc& iface = *FindInterfaceDescription(*entry.iid);
        for (size_t m = 0; m < iface.methodCount; ++m) {
            if (!withWiring && IsWiring(iface.methods[m])) continue;
            SCOPED_TRACE(std::string(iface.name) + "::" + iface.methods[m].name);
            each(object.get(), iface.methods[m]);
        }
    }
}

// Every row of every table, each as "table|field|field|...".
std::multiset<std::string> Snapshot(const PimDatabase& db) {
    std::multiset<std::string> rows;
    const auto tables =
        db.Rows(u"SELECT [name] FROM [sqlite_master] WHERE [type] = 'table' AND [name] NOT LIKE 'sqlite%';");
    for (const auto& table : tables) {
        for (const auto& row : db.Rows(u"SELECT * FROM [" + Utf8ToUtf16(table[0]) + u"];")) {
            std::string text = table[0];
            for (const auto& field : row) text += "|" + field;
            rows.insert(text);
        }
    }
    return rows;
}

// A row of every table for profile "1", each with ID 1: every Add and
// Update operation of every access interface, called once.
void SeedEveryTable(const PimDatabase& db) {
    Bstr id(u"1"), text(u"seed");
    ForEachAccessMethod(&db, u"1", false, [&](IDispatch* object, const MethodDesc& method) {
        if (!Named(method, "Add") && !Named(method, "Update")) return;
        Arguments args(method, {id, text});
        Variant result;
        EXPECT_EQ(args.Invoke(object, method.dispid, &result), S_OK);
    });
}

// ---- DISPIDs ---------------------------------------------------------------------

// Clients call by DISPID, and Invoke with a method's runs that method's own
// signature. DISPIDs are frozen with the library's shape (tests/idl); names
// resolve to them and surplus arguments are refused by the dispatch all
// interfaces share (tests/platform).
TEST(EveryInterface, InvokeByDispidReachesThatMethodWithItsSignature) {
    ASSERT_EQ(std::size(kClasses), CalyraTypeLibDescription().interfaceCount);
    for (const ClassEntry& entry : kClasses) {
        const InterfaceDesc* iface = FindInterfaceDescription(*entry.iid);
        ASSERT_NE(iface, nullptr) << entry.name;
        ASSERT_EQ(entry.table().methodCount, iface->methodCount)
            << iface->name << ": a method without an invoker cannot be called by automation";
        ComPtr<IDispatch> object;
        if (entry.create) {
            ASSERT_EQ(entry.create(&object), S_OK) << entry.name;
        }
        for (size_t i = 0; i < iface->methodCount; ++i) {
            const MethodDesc& method = iface->methods[i];
            SCOPED_TRACE(std::string(iface->name) + "::" + method.name);
            EXPECT_TRUE(entry.table().methods[i].matches(method)) << "every automation call would fail";
            if (!object) continue;
            Arguments args(method, {});
            Variant result;
            const HRESULT hr = args.Invoke(object.get(), method.dispid, &result);
            EXPECT_TRUE(hr != DISP_E_BADPARAMCOUNT && hr != DISP_E_TYPEMISMATCH && hr != DISP_E_MEMBERNOTFOUND &&
                        hr != DISP_E_PARAMNOTOPTIONAL && hr != DISP_E_BADVARTYPE)
                << "arguments fitting the description were refused: 0x" << std::hex << hr;
        }
    }
}

// ---- Without a connection ------------------------------------------------------------

TEST(EveryAccessInterface, WithoutAConnectionEveryOperationSaysNotConnectedAndZeroesItsOutputs) {
    Bstr id(u"1"), text(u"t");
    ForEachAccessMethod(nullptr, nullptr, false, [&](IDispatch* object, const MethodDesc& method) {
        Arguments args(method, {id, text});
        Variant result;
        const HRESULT hr = args.Invoke(object, method.dispid, &result);
        if (IsByIndex(method)) {
            // Only a connection fills the cache, so every index is out of range.
            EXPECT_EQ(std::pair(hr, args.errorId), std::pair(E_INVALIDARG, PIMERR_INVALID_ARGUMENT));
            return;
        }
        EXPECT_EQ(std::pair(hr, args.errorId), std::pair(E_POINTER, PIMERR_NOT_CONNECTED));
        EXPECT_EQ(result.vt, VT_EMPTY) << "a failed call returns no value";
        for (LONG* out : args.outLongs()) EXPECT_EQ(*out, 0) << "out numbers are zeroed";
    });
}

// ---- NULL pointers -------------------------------------------------------------------

// Every pointer a caller passes may be NULL, and every text argument (IDs,
// names) NULL or empty: the operation refuses it with E_INVALIDARG before
// touching the file (and the connection stays wired). Two operations take an
// empty text as a value: replacing a contact's groups by none (its rules are
// below), and an exception naming no master.
TEST(EveryAccessInterface, NullPointersAndNullOrEmptyTextsAreRefusedAndChangeNothing) {
    PimDatabase db;
    SeedEveryTable(db);
    const auto before = Snapshot(db);
    Bstr id(u"1"), empty(u""), text(u"t");
    ForEachAccessMethod(&db, u"1", true, [&](IDispatch* object, const MethodDesc& method) {
        auto expectRefused = [&](const ArgValues& values, const std::string& what) {
            SCOPED_TRACE(what);
            Arguments args(method, values);
            Variant result;
            EXPECT_EQ(std::pair(args.Invoke(object, method.dispid, &result), args.errorId),
                      std::pair(E_INVALIDARG, PIMERR_INVALID_ARGUMENT));
        };
        bool texts = false;
        for (size_t p = 1; p < method.paramCount; ++p) {
            texts = texts || method.params[p].vt == VT_BSTR;
            if (IsPointer(method.params[p]) && method.params[p].dir != ParamDir::RetVal)
                expectRefused({id, text, nullptr, p}, std::string("NULL ") + method.params[p].name);
        }
        if (!texts || IsWiring(method) || Named(method, "AddContactToContactGroup") || Named(method, "AddException"))
            return;
        expectRefused({nullptr, text}, "NULL texts");
        expectRefused({empty, text}, "empty texts");
    });
    EXPECT_EQ(Snapshot(db), before);
}

// ---- Quotes and injected IDs -------------------------------------------------------

// Every text a caller passes reaches the file as plain text: IDs and the
// profile ID that try to widen a statement select nothing and change no
// other row, and record texts with quotes (and longer than any buffer) are
// stored whole. A call that succeeds leaves the caller's error ID alone.
TEST(EveryAccessInterface, QuotedTextsAndInjectedIdsAreStoredAndMatchedAsPlainText) {
    PimDatabase db;
    SeedEveryTable(db);
    const std::u16string injected = u"1' OR '1'='1";
    const std::u16string quoted = u"O'Brien \"the 'best'\" " + std::u16string(3000, u'x');
    const std::string injectedUtf8 = Utf16ToUtf8(injected), quotedUtf8 = Utf16ToUtf8(quoted);
    Bstr id(injected), text(quoted);
    const auto seeded = Snapshot(db);
    ForEachAccessMethod(&db, injected.c_str(), false, [&](IDispatch* object, const MethodDesc& method) {
        const bool profiled = Automation(object).IdOf(u"SetProfileID") != DISPID_UNKNOWN;
        Arguments args(method, {id, text});
        Variant result;
        const HRESULT hr = args.Invoke(object, method.dispid, &result);
        const bool readsOne =
            Named(method, "Get") && (IsByIndex(method) || std::string_view(method.name).ends_with("ByID"));
        if (!readsOne) {
            EXPECT_EQ(hr, S_OK) << "the statement did not run";
        }
        if (hr == S_OK) {
            EXPECT_EQ(args.errorId, kUntouched) << "a successful call reported an error ID";
        }
        bool narrowed = profiled;  // by the profile, or by a text argument
        for (size_t p = 1; p < method.paramCount; ++p) narrowed = narrowed || method.params[p].vt == VT_BSTR;
        if (narrowed) {
            for (LONG* out : args.outLongs()) EXPECT_EQ(*out, 0) << "an injected ID found rows";
            const ParamDesc& last = method.params[method.paramCount - 1];
            if (last.dir == ParamDir::RetVal && (last.vt & VT_ARRAY)) {
                EXPECT_TRUE((result.vt & VT_ARRAY) && result.parray) << "an empty list is an empty array";
            }
        }
        if (result.vt == VT_BOOL) {
            EXPECT_EQ(result.boolVal, VARIANT_FALSE) << "an injected ID found a row";
        }
        const std::multiset<std::string> now = Snapshot(db);
        std::vector<std::string> gone, added;
        std::ranges::set_difference(seeded, now, std::back_inserter(gone));
        std::ranges::set_difference(now, seeded, std::back_inserter(added));
        for (const auto& row : gone) ADD_FAILURE() << "a row of profile 1 changed or went: " << row.substr(0, 120);
        for (const auto& row : added) {
            const bool whole = (row + "|").find("|" + quotedUtf8 + "|") != std::string::npos ||
                               (row + "|").find("|" + injectedUtf8 + "|") != std::string::npos;
            EXPECT_TRUE(whole) << "a new row lacks the caller's text: " << row.substr(0, 120);
        }
    });
}

// ---- Lifetime traces ---------------------------------------------------------------

TEST(EveryAccessObject, TracesItsConstructionAndDestruction) {
    for (const ClassEntry& entry : kClasses) {
        if (!entry.access) continue;
        TraceRecorder traces;
        ComPtr<IDispatch> object;
        ASSERT_EQ(entry.create(&object), S_OK);
        object.Reset();
        const std::string name = entry.name;
        std::vector<std::string> expected = {"CPimDataAccess::CPimDataAccess.[ENTER]"};
        if (entry.tracesOwnName) {
            expected.push_back(name + "::" + name + ".[ENTER]");
            expected.push_back(name + "::~" + name + ".[ENTER]");
        }
        expected.push_back("CPimDataAccess::~CPimDataAccess.[ENTER]");
        EXPECT_EQ(traces.texts(), expected) << name;
    }
}

// ---- Every record family ------------------------------------------------------------

template <class R>
using Check = std::function<void(const R&)>;
// Reads the record written under `id` and hands it to the check. The reads
// below work for any record type, the one the check takes.
template <class R>
using Read = std::function<void(const std::string& id, const Check<R>&)>;

template <class I, class M>
auto ByID(I* o, M get) {
    return [=]<class R>(const std::string& id, const Check<R>& check) {
        RecordHolder<R> r;
        ASSERT_EQ((o->*get)(nullptr, Bstr::FromUtf8(id), &r), S_OK);
        check(r);
    };
}
template <class I, class M, class... Args>
auto OnlyOfList(I* o, M list, Args... args) {
    return [=]<class R>(const std::string&, const Check<R>& check) {
        RecordArray<R> a;
        ASSERT_EQ(ListInto(a, o, list, args...), 1);
        check(a[0]);
    };
}
template <class I, class C, class M>
auto FirstByIndex(I* o, C count, M get) {
    return [=]<class R>(const std::string&, const Check<R>& check) {
        LONG n = 0;
        ASSERT_EQ((o->*count)(nullptr, &n), S_OK);
        RecordHolder<R> r;
        ASSERT_EQ((o->*get)(nullptr, 0, &r), S_OK);
        check(r);
    };
}

// One family: its first write (returning the new ID), its rewrite by ID
// (none: only written once), its reads, and the fields that are never
// stored. A record's ID, when it has one, is its first field; its time
// stamps are the times of the writes.
template <class R>
struct Family {
    const char* name;
    std::function<std::string(R*)> add;
    std::function<HRESULT(const std::string& id, R*)> modify;
    std::vector<Read<R>> reads;
    std::vector<std::string_view> ignore;
};

template <class R>
void ExpectRoundTrips(const Family<R>& family) {
    SCOPED_TRACE(family.name);
    const RecordDesc& desc = RecordDescriptionOf<R>();
    const FieldDesc& first = desc.fields[0];
    const bool hasID = first.vt == VT_BSTR && std::string_view(first.name).ends_with("ID");
    constexpr const char* kStamps[] = {"dtModified", "dtCreated", "dtLastPlayed"};
    std::vector<std::string_view> ignore = family.ignore;
    ignore.insert(ignore.end(), std::begin(kStamps), std::end(kStamps));
    if (hasID) ignore.push_back(first.name);
    std::string id;
    for (int seed : {0, 1}) {
        if (seed == 1 && !family.modify) break;
        RecordHolder<R> want;
        FillDistinct<R>(want, seed);
        const std::string before = UtcNowText();
        if (seed == 0) {
            id = family.add(&want);
        } else {
            ASSERT_EQ(family.modify(id, &want), S_OK) << "rewrite";
        }
        const std::string after = UtcNowText(1);  // stamps round to the nearest second
        for (const auto& read : family.reads) {
            read(id, [&](const R& got) {
                EXPECT_TRUE(SameRecord<R>(want, got, ignore)) << (seed ? "after the rewrite" : "after the add");
                if (hasID) {
                    EXPECT_EQ(BstrUtf8(*reinterpret_cast<const BSTR*>(&got)), id);  // at offset 0
                }
                for (const FieldDesc& f : std::span(desc.fields, desc.fieldCount)) {
                    const std::string_view name = f.name;
                    if (name != "dtModified" && name != "dtLastPlayed" && (name != "dtCreated" || seed == 1)) continue;
                    const std::string text =
                        DateText(*reinterpret_cast<const DATE*>(reinterpret_cast<const char*>(&got) + f.offset));
                    EXPECT_TRUE(text >= before && text <= after) << name << " " << text << " is not the write's time";
                }
            });
        }
    }
}

// A family's first write, `(o->*add)(plErrorID, args..., record, &id)`,
// returning the new ID, and its rewrite by ID.
template <class R, class I, class M, class... Args>
std::function<std::string(R*)> Adder(I* o, M add, Args... args) {
    return [=](R* r) {
        Bstr id;
        EXPECT_EQ((o->*add)(nullptr, args..., r, &id), S_OK);
        return id.utf8();
    };
}
template <class R, class I, class M>
std::function<HRESULT(const std::string&, R*)> Rewriter(I* o, M modify) {
    return [=](const std::string& id, R* r) { return (o->*modify)(nullptr, Bstr::FromUtf8(id), r); };
}
// A family added through `add` and rewritten through `modify` of `o`.
template <class R, class I, class A, class M>
void ExpectWrittenRoundTrips(const char* name, I* o, A add, M modify, std::vector<Read<R>> reads,
                             std::vector<std::string_view> ignore = {}) {
    ExpectRoundTrips<R>({name, Adder<R>(o, add), Rewriter<R>(o, modify), std::move(reads), std::move(ignore)});
}

// A play-statistics family, its records all of the existing `file` (the
// lists show only files that exist): an add counts 1, a rewrite writes the
// record's counter.
template <class R, class I, class A, class M, class L>
void ExpectPlayStatsRoundTrips(const char* name, I* o, const std::string& file, A add, M modify, L list) {
    const auto onFile = [=](R* r) {
        SetText(r->bstrFullPath, file);
        return r;
    };
    ExpectRoundTrips<R>({name,
                         [=](R* r) {
                             r->lCounter = 1;
                             return Adder<R>(o, add)(onFile(r));
                         },
                         [=](const std::string& id, R* r) { return Rewriter<R>(o, modify)(id, onFile(r)); },
                         {OnlyOfList(o, list, LONG{1})},
                         {}});
}

// Run twice: over the engine's own connection, and over one that offers
// only IPimDbAccess (a connection from another apartment or another
// implementation), where the objects walk result sets instead of using the
// engine's row reader. Every read must give the same records either way.
class EveryRecordFamily : public ::testing::TestWithParam<bool> {};

TEST_P(EveryRecordFamily, WrittenRecordsComeBackFieldForFieldFromEveryRead) {
    PimDatabase db;
    const ComPtr<CComObject<RecordingConnection>> foreign = GetParam() ? RecordingConnection::Over(db.db()) : nullptr;
    IPimDbAccess* const connection = foreign ? static_cast<IPimDbAccess*>(foreign.get()) : nullptr;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>(u"1", connection);
    using P = IProfileAccess;
    ExpectWrittenRoundTrips<tagProfileInfo>(
        "profiles", profiles.get(), &P::AddProfile, &P::ModifyProfileByID,
        {OnlyOfList(profiles.get(), &P::GetAllProfiles),
         FirstByIndex(profiles.get(), &P::GetNumOfProfiles, &P::GetProfileByIndex)});

    auto contacts = db.Create<CContactAccess, IContactAccess>(u"1", connection);
    IContactAccess* c = contacts.get();
    using C = IContactAccess;
    ExpectWrittenRoundTrips<tagContactInfo>("contacts", c, &C::AddContact, &C::ModifyContactByID,
                                            {ByID(c, &C::GetContactByID), OnlyOfList(c, &C::GetAllContacts),
                                             FirstByIndex(c, &C::GetNumOfContacts, &C::GetContactByIndex)});

    auto groups = db.Create<CContactGroupAccess, IContactGroupAccess>(u"1", connection);
    using G = IContactGroupAccess;
    ExpectWrittenRoundTrips<tagContactGroupInfo>(
        "contact groups", groups.get(), &G::AddContactGroup, &G::ModifyContactGroupByID,
        {OnlyOfList(groups.get(), &G::GetAllContactGroups),
         FirstByIndex(groups.get(), &G::GetNumOfContactGroups, &G::GetContactGroupByIndex)},
        {"bstrContactGroupPhoto", "bstrContactGroupRingtone"});

    // The detail items of contact "7" (no contact row is needed), read back through their lists.
    const Bstr seven(u"7");
    const BSTR of = seven;
    // A zeroed record of each family stands for its type.
    const auto detail = [&]<class R>(R, const char* name, auto add, auto modify, auto list) {
        ExpectRoundTrips<R>({name, Adder<R>(c, add, of), Rewriter<R>(c, modify), {OnlyOfList(c, list, of)}, {}});
    };
    detail(tagAddress{}, "addresses", &C::AddAddressToContact, &C::ModifyAddressByID, &C::GetAddressesByContactID);
    detail(tagPhoneNumber{}, "phone numbers", &C::AddPhoneNumberToContact, &C::ModifyPhoneNumberByID,
           &C::GetPhoneNumbersByContactID);
    detail(tagEmail{}, "e-mail", &C::AddEmailToContact, &C::ModifyEmailByID, &C::GetEmailsByContactID);
    detail(tagWebUrl{}, "web", &C::AddWebUrlToContact, &C::ModifyWebUrlByID, &C::GetWebUrlsByContactID);
    detail(tagIM{}, "instant messaging", &C::AddIMToContact, &C::ModifyIMByID, &C::GetIMsByContactID);

    auto events = db.Create<CEventAccess, IEventAccess>(u"1", connection);
    using E = IEventAccess;
    ExpectWrittenRoundTrips<tagEventInfo>(
        "events", events.get(), &E::AddEvent, &E::ModifyEventByID,
        {ByID(events.get(), &E::GetEventByID), ByID(events.get(), &E::GetExceptionByID),
         OnlyOfList(events.get(), &E::GetAllEvents)});

    auto categories = db.Create<CEventCategoryAccess, IEventCategoryAccess>(u"1", connection);
    using K = IEventCategoryAccess;
    ExpectWrittenRoundTrips<tagEventCategoryInfo>(
        "event categories", categories.get(), &K::AddEventCategory, &K::ModifyEventCategoryByID,
        {OnlyOfList(categories.get(), &K::GetAllEventCategories),
         FirstByIndex(categories.get(), &K::GetNumOfEventCategories, &K::GetEventCategoryByIndex)});

    auto tasks = db.Create<CTaskAccess, ITaskAccess>(u"1", connection);
    using T = ITaskAccess;
    ExpectWrittenRoundTrips<tagTaskInfo>("tasks", tasks.get(), &T::AddTask, &T::ModifyTaskByID,
                                         {ByID(tasks.get(), &T::GetTaskByID), OnlyOfList(tasks.get(), &T::GetAllTasks),
                                          FirstByIndex(tasks.get(), &T::GetNumOfTasks, &T::GetTaskByIndex)});

    const std::string file = db.dir().file("played").string();
    std::ofstream(file) << "audio";
    using M = IMostFrequentlyPlayedMusic;
    auto music = db.Create<CMostFrequentlyPlayedMusic, M>(u"1", connection);
    ExpectPlayStatsRoundTrips<tagMostFrequentlyPlayedMusic>("music", music.get(), file, &M::AddMfpmEntry,
                                                            &M::ModifyMfpmEntryByID, &M::GetMostFrequentlyPlayedMusics);
    using Q = IMostFrequentlyPlayedPodcast;
    auto podcasts = db.Create<CMostFrequentlyPlayedPodcast, Q>(u"1", connection);
    ExpectPlayStatsRoundTrips<tagMostFrequentlyPlayedPodcast>("podcasts", podcasts.get(), file, &Q::AddMfppEntry,
                                                              &Q::ModifyMfppEntryByID,
                                                              &Q::GetMostFrequentlyPlayedPodcasts);

    // Sync options are written per kind (the argument, which reads back as
    // lType); the first update inserts, the next rewrites that row.
    auto sync = db.Create<CSyncOption, ISyncOption>(u"1", connection);
    auto updateOption = [&](const std::string&, tagSyncOptions* r) {
        r->lType = -1;
        return sync->UpdateSyncOption(nullptr, -1, r);
    };
    ExpectRoundTrips<tagSyncOptions>({"sync options",
                                      [&](tagSyncOptions* r) {
                                          EXPECT_EQ(updateOption("", r), S_OK);
                                          return std::string();
                                      },
                                      updateOption,
                                      {[&](const std::string&, const Check<tagSyncOptions>& check) {
                                          tagSyncOptions got{};
                                          ASSERT_EQ(sync->GetSyncOption(nullptr, -1, &got), S_OK);
                                          check(got);
                                      }},
                                      {}});
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tSyncOption];"), "1");
    ExpectRoundTrips<tagSyncAlbumItem>(
        {"sync albums",
         [&](tagSyncAlbumItem* r) {
             EXPECT_EQ(sync->AddSyncAlbum(nullptr, r->lType, r), S_OK);
             return std::string();
         },
         nullptr,
         {OnlyOfList(sync.get(), &ISyncOption::GetSyncAlbums, LONG{-1001})},  // the filled lType
         {}});
}

INSTANTIATE_TEST_SUITE_P(Connections, EveryRecordFamily, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OnlyIPimDbAccess" : "EngineConnection"; });

// Rules beyond the NULL pointers and empty IDs every operation refuses (the
// sweep above): each call reports an invalid argument, also without
// plErrorID, and writes nothing.
TEST(EveryFamily, FamilyArgumentRulesReportInvalidArgumentAndWriteNothing) {
    PimDatabase db;
    const auto before = Snapshot(db);
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    auto contacts = db.Create<CContactAccess, IContactAccess>();
    auto groups = db.Create<CContactGroupAccess, IContactGroupAccess>();
    auto events = db.Create<CEventAccess, IEventAccess>();
    auto tasks = db.Create<CTaskAccess, ITaskAccess>();
    auto music = db.Create<CMostFrequentlyPlayedMusic, IMostFrequentlyPlayedMusic>();
    auto sync = db.Create<CSyncOption, ISyncOption>();
    tagProfileInfo profile{}, named{};
    tagContactGroupInfo group{};
    tagEventInfo event{};
    tagTaskInfo task{};
    tagIM im{};
    tagMostFrequentlyPlayedMusic entry{};
    tagSyncAlbumItem album{};
    Bstr id, one(u"1"), empty(u"");
    named.bstrName = one;
    RecordArray<tagMostFrequentlyPlayedMusic> top;
    LONG n = 0;
    VARIANT_BOOL exists = 0;
    const struct {
        const char* what;
        std::function<HRESULT(LONG*)> call;
    } cases[] = {
        {"profile without a name", [&](LONG* e) { return profiles->AddProfile(e, &profile, &id); }},
        {"profile renamed to nothing", [&](LONG* e) { return profiles->ModifyProfileByID(e, one, &profile); }},
        {"profile without ID output", [&](LONG* e) { return profiles->AddProfile(e, &named, nullptr); }},
        {"group without a name", [&](LONG* e) { return groups->AddContactGroup(e, &group, &id); }},
        {"group renamed to nothing", [&](LONG* e) { return groups->ModifyContactGroupByID(e, one, &group); }},
        {"IM without ID output", [&](LONG* e) { return contacts->AddIMToContact(e, one, &im, nullptr); }},
        {"joining no group in add mode",
         [&](LONG* e) { return contacts->AddContactToContactGroup(e, one, empty, VARIANT_TRUE); }},
        {"replacing the groups of no contact",
         [&](LONG* e) { return contacts->AddContactToContactGroup(e, nullptr, one, VARIANT_FALSE); }},
        {"event without subject", [&](LONG* e) { return events->AddEvent(e, &event, &id); }},
        {"exception without subject", [&](LONG* e) { return events->AddException(e, one, &event, &id); }},
        {"task without subject", [&](LONG* e) { return tasks->AddTask(e, &task, &id); }},
        {"look-up without path", [&](LONG* e) { return music->QueryMfpmEntry(e, &entry, &exists); }},
        {"play without path", [&](LONG* e) { return music->UpdateMostFrequentlyPlayedMusic(e, &entry); }},
        {"top list of 0", [&](LONG* e) { return music->GetMostFrequentlyPlayedMusics(e, 0, &n, &top); }},
        {"top list of 100", [&](LONG* e) { return music->GetMostFrequentlyPlayedMusics(e, 100, &n, &top); }},
        {"album without a name", [&](LONG* e) { return sync->AddSyncAlbum(e, 1, &album); }},
    };
    for (const auto& c : cases) {
        LONG err = kUntouched;
        EXPECT_EQ(std::pair(c.call(&err), err), std::pair(E_INVALIDARG, PIMERR_INVALID_ARGUMENT)) << c.what;
        EXPECT_EQ(c.call(nullptr), E_INVALIDARG) << c.what << " (NULL plErrorID)";
    }
    EXPECT_EQ(top.get(), nullptr);
    EXPECT_EQ(Snapshot(db), before);
    // The bounds themselves are valid sizes, and an empty subject may be written by a rewrite.
    EXPECT_EQ(music->GetMostFrequentlyPlayedMusics(nullptr, 99, &n, &top), S_OK);
    EXPECT_EQ(top.size(), 99);
    EXPECT_EQ(tasks->ModifyTaskByID(nullptr, one, &task), S_OK);
    EXPECT_EQ(events->ModifyEventByID(nullptr, one, &event), S_OK);
}

}  // namespace
}  // namespace calyra::test
