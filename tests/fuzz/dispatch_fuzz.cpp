// Automation dispatch driven by a fuzzer: Invoke on every interface of every
// class of the registered module, with any DISPID, argument count, VARIANT
// type, BYREF combination, named argument and call flag, on a database in a
// temporary folder. Nothing may crash, leak or write outside what the
// caller handed over, and every status is one automation defines.
//
// The objects are made once, the way a client makes them (the module
// registered in a private registry, CoCreateInstance, the management object
// opening the file and handing out wired access objects). Operations that
// would open other files are left out: their argument is a path.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "idl/typelib_description.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/com_runtime.h"
#include "platform/safearray.h"
#include "platform/type_lib.h"
#include "server/entry_points.h"
#include "support/temp_dir.h"

namespace {

using calyra::Bstr;
using calyra::ComPtr;

struct Target {
    ComPtr<IDispatch> object;
    const calyra::InterfaceDesc* iface = nullptr;
};

struct World {
    Bstr file;  // the database, in a temporary folder
    ComPtr<IPimManagement> management;
    ComPtr<IPimDbAccess> connection;  // the IPimDbAccess target, opened on the same file
    std::vector<Target> targets;
    std::vector<ComPtr<IRecordInfo>> records;  // one per record type of the library
};

World& TheWorld() {
    // The world lives as long as the process; its folder goes at exit.
    static const calyra::test::TempDir dir;
    static World* world = [] {
        auto* w = new World;
        w->file = dir.bstr("pim.db");
        // SQL text from the input could name a file (ATTACH, VACUUM INTO):
        // relative names then land in the temporary folder.
        FUZZ_CHECK(chdir(dir.path().c_str()) == 0);
        setenv("CALYRA_REGISTRY", dir.file("registry").c_str(), 1);
        void* module = dlopen(CALYRA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        FUZZ_CHECK(module != nullptr);
        auto registerServer = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer"));
        FUZZ_CHECK(registerServer && registerServer() == S_OK);

        FUZZ_CHECK(CoCreateInstance(CLSID_PimManagement, nullptr, CLSCTX_ALL, IID_IPimManagement,
                                    reinterpret_cast<void**>(&w->management)) == S_OK);
        FUZZ_CHECK(w->management->OpenPimDatabase(nullptr, Bstr(u"u"), Bstr(u"p"), w->file) == S_OK);
        FUZZ_CHECK(w->management->SetCurrentProfile(nullptr, Bstr(u"1")) == S_OK);

        const calyra::TypeLibDesc& lib = calyra::CalyraTypeLibDescription();
        for (size_t i = 0; i < lib.coclassCount; ++i) {
            const calyra::CoClassDesc& cls = lib.coclasses[i];
            Target& t = w->targets.emplace_back();
            if (*cls.iid == IID_IPimManagement) {
                FUZZ_CHECK(w->management.As(std::addressof(t.object)) == S_OK);
            } else if (*cls.iid == IID_IPimDbAccess) {
                FUZZ_CHECK(CoCreateInstance(*cls.clsid, nullptr, CLSCTX_ALL, IID_IPimDbAccess,
                                            reinterpret_cast<void**>(&w->connection)) == S_OK);
                FUZZ_CHECK(w->connection->OpenPimDatabase(nullptr, Bstr(u"u"), Bstr(u"p"), w->file) == S_OK);
                FUZZ_CHECK(w->connection.As(std::addressof(t.object)) == S_OK);
            } else {
                GUID iid = *cls.iid;
                void* raw = nullptr;
                FUZZ_CHECK(w->management->GetAccessInterface(nullptr, &iid, &raw) == S_OK && raw);
                FUZZ_CHECK(ComPtr<IUnknown>::Attach(static_cast<IUnknown*>(raw)).As(std::addressof(t.object)) == S_OK);
            }
            t.iface = calyra::FindInterfaceDescription(*cls.iid);
            FUZZ_CHECK(t.iface != nullptr);
        }
        for (size_t i = 0; i < lib.recordCount; ++i)
            FUZZ_CHECK(GetRecordInfoFromGuids(*lib.libid, lib.majorVersion, lib.minorVersion, 0, *lib.records[i]->guid,
                                              &w->records.emplace_back()) == S_OK);
        return w;
    }();
    return *world;
}

// The statuses automation defines: the general ones and those of dispatch.
constexpr HRESULT kGeneralStatuses[] = {S_OK,         S_FALSE,   E_INVALIDARG,  E_POINTER,    E_FAIL,
                                        E_UNEXPECTED, E_NOTIMPL, E_NOINTERFACE, E_OUTOFMEMORY};
constexpr HRESULT kDispatchStatuses[] = {
    DISP_E_MEMBERNOTFOUND,   DISP_E_PARAMNOTFOUND,    DISP_E_TYPEMISMATCH, DISP_E_UNKNOWNNAME, DISP_E_NONAMEDARGS,
    DISP_E_BADVARTYPE,       DISP_E_EXCEPTION,        DISP_E_OVERFLOW,     DISP_E_BADINDEX,    DISP_E_BADPARAMCOUNT,
    DISP_E_PARAMNOTOPTIONAL, DISP_E_UNKNOWNINTERFACE, DISP_E_ARRAYISLOCKED};

// Storage that BYREF arguments point into, cleaned up after the call the
// way a caller cleans up what the callee may have put there.
struct ByRefStore {
    std::array<LONG, 8> longs{};
    std::array<LONGLONG, 8> slots{};
    std::array<DATE, 8> dates{};
    std::array<VARIANT_BOOL, 8> flags{};
    std::array<BSTR, 8> texts{};
    std::array<VARIANT, 8> variants{};  // zeroed: VT_EMPTY
    std::array<SAFEARRAY*, 8> arrays{};
    std::array<std::array<std::uint64_t, 64>, 8> records{};  // room for the largest record, aligned
    std::array<IRecordInfo*, 8> recordInfos{};
    std::array<USHORT, 64> buffer{};  // a caller's text buffer (never with a size: GetFieldValue is left out)
    size_t used = 0;

    ~ByRefStore() {
        for (BSTR b : texts) SysFreeString(b);
        for (auto& v : variants) VariantClear(&v);
        for (SAFEARRAY* a : arrays)
            if (a) SafeArrayDestroy(a);
        for (size_t i = 0; i < recordInfos.size(); ++i)
            if (recordInfos[i]) recordInfos[i]->RecordClear(records[i].data());
    }
};

VARIANT MakeArgument(calyra::fuzz::FuzzInput& in, ByRefStore& store, World& world) {
    VARIANT v;
    VariantInit(&v);
    size_t k = store.used++ % 8;
    const auto kind = in.Take<std::uint8_t>() % 20;
    // Kinds 9 to 15 point into the store, the first with a value in it.
    const std::pair<VARTYPE, void*> byRef[] = {{VT_I4, &store.longs[k]},
                                               {VT_I8, &store.slots[k]},
                                               {VT_BSTR, &store.texts[k]},
                                               {VT_BOOL, &store.flags[k]},
                                               {VT_DATE, &store.dates[k]},
                                               {VT_VARIANT, &store.variants[k]},
                                               {VT_ARRAY | VT_RECORD, &store.arrays[k]}};
    if (kind >= 9 && kind <= 15) {
        v.vt = VT_BYREF | byRef[kind - 9].first;
        v.byref = byRef[kind - 9].second;
        if (kind == 9) store.longs[k] = in.Take<LONG>();
        return v;
    }
    // Kinds 0 to 8 are values; 0 is VT_EMPTY, 8 a missing optional argument.
    if (kind == 1) v.vt = VT_NULL;
    if (kind == 2) v.vt = VT_I4, v.lVal = in.Take<LONG>();
    if (kind == 3) v.vt = VT_I2, v.iVal = in.Take<SHORT>();
    if (kind == 4) v.vt = VT_R8, v.dblVal = in.Take<double>();
    if (kind == 5) v.vt = VT_DATE, v.date = in.Take<double>();
    if (kind == 6) v.vt = VT_BOOL, v.boolVal = in.Take<VARIANT_BOOL>();
    if (kind == 7) v.vt = VT_BSTR, v.bstrVal = Bstr(in.TakeText(48)).Detach();
    if (kind == 8) v.vt = VT_ERROR, v.scode = DISP_E_PARAMNOTFOUND;
    if (kind == 16 || kind == 17) {
        // A record in or out: a zeroed record of one of the library's types
        // (unless this slot's record is still in use).
        IRecordInfo* info = world.records[in.Take<std::uint8_t>() % world.records.size()].get();
        ULONG size = 0;
        info->GetSize(&size);
        if (store.recordInfos[k] || size > sizeof(store.records[k])) return v;
        store.recordInfos[k] = info;
        v.vt = (in.Take<std::uint8_t>() & 1) ? (VT_BYREF | VT_RECORD) : VT_RECORD;
        v.pvRecord = store.records[k].data();
        v.pRecInfo = info;
    } else if (kind == 18) {
        // An interface: a connection, another object, or none.
        auto pick = in.Take<std::uint8_t>() % (world.targets.size() + 1);
        v.vt = VT_DISPATCH;
        v.pdispVal = pick < world.targets.size() ? world.targets[pick].object.get() : nullptr;
        if (v.pdispVal) v.pdispVal->AddRef();
    } else if (kind == 19) {
        v.vt = VT_BYREF | VT_UI2;
        v.byref = store.buffer.data();
    }
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World& world = TheWorld();
    calyra::fuzz::FuzzInput in(data, size);
    // A closing call of an earlier input is undone, so calls keep reaching data.
    const auto reopen = [&world](auto* db) {
        VARIANT_BOOL open = 0;
        db->IsOpenPimDatabase(nullptr, &open);
        if (!open) db->OpenPimDatabase(nullptr, Bstr(u"u"), Bstr(u"p"), world.file);
    };
    reopen(world.management.get());
    reopen(world.connection.get());
    // Rows added by earlier inputs would slow every later one down.
    static unsigned inputs = 0;
    if (++inputs % 1024 == 0) {
        for (const char16_t* table :
             {u"tProfile", u"tContact", u"tAddress", u"tPhoneNumber", u"tEmail", u"tWebUrl", u"tIM", u"tContactGroup",
              u"tContactGroupMap", u"tEvent", u"tEventCategory", u"tTask", u"tSyncOption", u"tSyncAlbum",
              u"tMostFrequentlyPlayedMusic", u"tMostFrequentlyPlayedPodcast"})
            world.connection->Execute(nullptr, Bstr(u"DELETE FROM [" + std::u16string(table) + u"];"), nullptr);
    }

    for (int call = 0; call < 4 && !in.empty(); ++call) {
        Target& target = world.targets[in.Take<std::uint8_t>() % world.targets.size()];
        auto pick = in.Take<std::uint8_t>();
        DISPID dispid = pick < 224 ? static_cast<DISPID>(1 + pick % target.iface->methodCount)
                                   : static_cast<DISPID>(static_cast<std::int8_t>(in.Take<std::uint8_t>()));
        const calyra::MethodDesc* m = calyra::FindMethodDescription(*target.iface, dispid);
        // Left out: operations whose argument names a file to open, and the
        // one that writes as many units as its caller says its buffer holds
        // (a caller lying about its buffer is not the component's fault).
        if (m && (std::strcmp(m->name, "OpenPimDatabase") == 0 || std::strcmp(m->name, "GetFieldValue") == 0)) continue;

        auto flagPick = in.Take<std::uint8_t>();
        WORD flags = flagPick < 200 ? DISPATCH_METHOD : static_cast<WORD>(flagPick & 0x0F);
        UINT count = in.Take<std::uint8_t>() % 9;
        ByRefStore store;
        std::vector<VARIANT> args;
        for (UINT i = 0; i < count; ++i) args.push_back(MakeArgument(in, store, world));
        std::array<DISPID, 2> named{DISPID_PROPERTYPUT, static_cast<DISPID>(in.Take<std::int8_t>())};
        UINT namedCount = count > 0 ? in.Take<std::uint8_t>() % 3 : 0;
        if (namedCount > count) namedCount = count;
        DISPPARAMS params{args.data(), namedCount ? named.data() : nullptr, count, namedCount};

        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception{};
        UINT argErr = 0;
        HRESULT hr = target.object->Invoke(dispid, IID_NULL, 0, flags, &params, &result, &exception, &argErr);
        FUZZ_CHECK(std::ranges::count(kGeneralStatuses, hr) + std::ranges::count(kDispatchStatuses, hr) != 0);
        if (hr == DISP_E_PARAMNOTFOUND || hr == DISP_E_TYPEMISMATCH) FUZZ_CHECK(argErr < count);
        VariantClear(&result);
        for (BSTR b : {exception.bstrSource, exception.bstrDescription, exception.bstrHelpFile}) SysFreeString(b);
        for (VARIANT& v : args)
            if (!(v.vt & VT_BYREF) && v.vt != VT_RECORD) VariantClear(&v);
    }
    return 0;
}
