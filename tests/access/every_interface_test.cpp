// What every interface of the type library shares, checked once for all of
// them by walking the library's run-time description and calling each
// method through IDispatch with arguments built from its parameters:
// DISPIDs and dispatch, the answer without a connection, NULL pointers,
// quotes and injected IDs, and the lifetime traces of the access objects.
// What differs between families (statements, cascades, argument rules,
// record mapping) is tested beside each family.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <set>
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

class Wired {
public:
    Wired(const ClassEntry& entry, const PimDatabase& db, const char16_t* profileID) {
        EXPECT_EQ(entry.create(&object), S_OK) << entry.name;
        ComPtr<IDispatch> connection;
        db.db()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&connection));
        Automation a(object.get());
        EXPECT_EQ(a.Call(u"SetPimDbAccess", {Ref(VT_I4, &m_errorId), Object(connection.get())}), S_OK);
        Bstr profile(profileID);
        if (a.IdOf(u"SetProfileID") != DISPID_UNKNOWN) {
            EXPECT_EQ(a.Call(u"SetProfileID", {Ref(VT_I4, &m_errorId), TextArg(profile)}), S_OK);
        }
    }
    ComPtr<IDispatch> object;

private:
    LONG m_errorId = 0;
};

const InterfaceDesc& DescriptionOf(const ClassEntry& entry) { return *FindInterfaceDescription(*entry.iid); }

// Calls `each(object, method)` for every method of every access class, the
// wiring ones only `withWiring`, inside a trace naming the method; the
// object is wired to `db` for profile `profileID`, or is a new unwired one
// without `db`.
template <class Each>
void ForEachAccessMethod(const PimDatabase* db, const char16_t* profileID, bool withWiring, Each each) {
    for (const ClassEntry& entry : kClasses) {
        if (!entry.access) continue;
        ComPtr<IDispatch> object;
        if (db) {
            object = Wired(entry, *db, profileID).object;
        } else {
            ASSERT_EQ(entry.create(&object), S_OK);
        }
        const InterfaceDesc& iface = DescriptionOf(entry);
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
// in record_families_test.cpp), and an exception naming no master.
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
        std::multiset<std::string> added = Snapshot(db);
        for (const auto& row : seeded) {
            auto found = added.find(row);
            if (found == added.end()) {
                ADD_FAILURE() << "a row of profile 1 changed or went: " << row.substr(0, 120);
            } else {
                added.erase(found);
            }
        }
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

}  // namespace
}  // namespace calyra::test
