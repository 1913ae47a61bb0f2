// Creating the component's objects the way a client does: through the
// registry, the runtime and the module's class objects. What the runtime
// refuses before it reaches a module (unknown classes, aggregation for
// another interface) is tested with the runtime in tests/platform. Then the
// management facade as a client meets it: created so from the built module,
// opening files, handing out access objects.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <span>
#include <vector>

#include "idl/calyra_idl.h"
#include "idl/class_registration.h"
#include "idl/typelib_description.h"
#include "platform/com_ptr.h"
#include "platform/com_runtime.h"
#include "platform/type_lib.h"
#include "server/module_fixture.h"
#include "support/test_values.h"
#include "support/trace_recorder.h"

namespace calyra::test {
namespace {

constexpr CLSID kUnknownClsid = {0xdeadbeef, 0x1, 0x2, {0x3, 0x4, 0x5, 0x6, 0x7, 0x8, 0x9, 0xa}};

class CreationTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_EQ(Register(), S_OK);
    }

    static HRESULT CreateDb(IPimDbAccess** db) {
        return CoCreateInstance(CLSID_PimDbAccess, nullptr, CLSCTX_ALL, IID_IPimDbAccess, reinterpret_cast<void**>(db));
    }

    IClassFactory* Factory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(GetClassObject(CLSID_PimDbAccess, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        return factory;
    }
};

// An outer object that aggregates one inner object.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner) return inner->QueryInterface(riid, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }  // lives on the test's stack

    std::atomic<ULONG> refs{1};
    IUnknown* inner = nullptr;  // the inner object's own (non-delegating) IUnknown
};

// Script hosts and clients that import the library read each object's
// interface from the object itself.
TEST_F(CreationTest, EveryClassHandsOutItsInterfacesTypeInfo) {
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    ASSERT_EQ(lib.coclassCount, std::size(kClassRegistrations));
    for (const CoClassDesc& coclass : std::span(lib.coclasses, lib.coclassCount)) {
        SCOPED_TRACE(coclass.name);
        IDispatch* object = nullptr;
        ASSERT_EQ(
            CoCreateInstance(*coclass.clsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&object)),
            S_OK);
        UINT count = 0;
        EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        ITypeInfo* info = nullptr;
        ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
        GUID guid{};
        TYPEKIND kind = TKIND_ENUM;
        EXPECT_EQ(info->GetGuid(&guid), S_OK);
        EXPECT_EQ(info->GetTypeKind(&kind), S_OK);
        EXPECT_TRUE(IsEqualGUID(guid, *coclass.iid));
        EXPECT_EQ(kind, TKIND_DISPATCH);
        info->Release();
        info = reinterpret_cast<ITypeInfo*>(0x1);
        EXPECT_EQ(object->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
        EXPECT_EQ(info, nullptr);
        object->Release();
    }
}

// The module serves only its own classes. Once unregistered, a class is as
// unknown to the runtime as any other (registration_test.cpp,
// tests/platform/com_runtime_test.cpp); every class it serves is created by
// identifier above.
TEST_F(CreationTest, ServesOnlyItsOwnClassesWhoseClassObjectAnswersOnlyItsInterfacesAndAggregatesOnlyForIUnknown) {
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(GetClassObject(kUnknownClsid, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(GetClassObject(CLSID_PimDbAccess, IID_IClassFactory, nullptr), E_POINTER);
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->QueryInterface(IID_IPimDbAccess, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPimDbAccess, nullptr), E_POINTER);
    Outer outer;
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IPimDbAccess, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    factory->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(CreationTest, AggregatedObjectDelegatesToItsOuterObject) {
    Outer outer;
    ASSERT_EQ(
        CoCreateInstance(CLSID_PimDbAccess, &outer, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
        S_OK);
    ASSERT_NE(outer.inner, nullptr);
    const ULONG refs = outer.refs;

    IPimDbAccess* db = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IPimDbAccess, reinterpret_cast<void**>(&db)), S_OK);
    EXPECT_EQ(outer.refs, refs + 1) << "the inner object's interface must count on the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(db->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer)) << "the aggregate has the outer object's identity";
    identity->Release();
    db->Release();
    EXPECT_EQ(outer.refs, refs);

    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    outer.inner->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(CreationTest, ModuleStaysWhileAnObjectOrServerLockLives) {
    EXPECT_EQ(CanUnloadNow(), S_OK);
    IPimDbAccess* db = nullptr;
    ASSERT_EQ(CreateDb(&db), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE) << "an object is alive";
    db->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);

    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE) << "a server lock is alive";
    factory = Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    // An unlock without a lock is refused rather than unbalancing the count.
    EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
    EXPECT_EQ(CanUnloadNow(), S_FALSE) << "the class object itself is alive";
    factory->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);

    ASSERT_EQ(CreateDb(&db), S_OK);
    CoFreeUnusedLibrariesEx(0, 0);
    CoFreeUnusedLibrariesEx(0, 0);
    VARIANT_BOOL open;
    EXPECT_EQ(db->IsOpenPimDatabase(nullptr, &open), S_OK) << "a module in use was freed";
    db->Release();
    // The first call only notes that the module is idle; the second frees it.
    CoFreeUnusedLibrariesEx(0, 0);
    CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_EQ(CreateDb(&db), S_OK) << "a freed module is loaded again on demand";
    db->Release();
}

// ---- The management facade --------------------------------------------------------

class ManagementTest : public CreationTest {
protected:
    void SetUp() override {
        CreationTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_PimManagement, nullptr, CLSCTX_ALL, IID_IPimManagement,
                                   reinterpret_cast<void**>(&mgmt)),
                  S_OK);
    }
    HRESULT Open(const char* file, LONG* err = nullptr) {
        return mgmt->OpenPimDatabase(err, Bstr(u"user"), Bstr(u"pwd"), m_dir.bstr(file));
    }
    bool IsOpen() {
        VARIANT_BOOL open = 3;
        EXPECT_EQ(mgmt->IsOpenPimDatabase(nullptr, &open), S_OK);
        return open == VARIANT_TRUE;
    }
    ComPtr<IProfileAccess> Profiles() {
        ComPtr<IProfileAccess> p;
        EXPECT_EQ(mgmt->GetProfileAccess(nullptr, &p), S_OK);
        return p;
    }
    static HRESULT AddProfile(IProfileAccess* profiles, const char16_t* name) {
        tagProfileInfo info{};
        Bstr text(name), id;
        info.bstrName = text;
        return profiles->AddProfile(nullptr, &info, &id);
    }

    ComPtr<IPimManagement> mgmt;
};

TEST_F(ManagementTest, OpenCloseAndReopenAsAccessObjectsSeeThem) {
    auto profiles = Profiles();  // handed out before open, it shares the connection opened later
    LONG err = kUntouched, n = 3;
    EXPECT_EQ(std::pair(profiles->GetNumOfProfiles(&err, &n), err), std::pair(E_UNEXPECTED, PIMERR_NOT_CONNECTED));
    err = kUntouched;
    EXPECT_EQ(Open("missing/dir/x.db", &err), E_FAIL);
    EXPECT_EQ(err, PIMERR_OPEN_FAILED);
    EXPECT_FALSE(IsOpen());

    err = kUntouched;
    ASSERT_EQ(Open("new.db", &err), S_OK) << "a failed open left the facade unusable";
    EXPECT_EQ(err, kUntouched);
    EXPECT_TRUE(IsOpen());
    ASSERT_EQ(profiles->GetNumOfProfiles(nullptr, &n), S_OK) << "the profile table exists";
    EXPECT_EQ(n, 0);
    ASSERT_EQ(AddProfile(profiles.get(), u"p"), S_OK);
    ASSERT_EQ(Open("new.db"), S_OK);
    ASSERT_EQ(Profiles()->GetNumOfProfiles(nullptr, &n), S_OK);
    EXPECT_EQ(n, 1) << "a second open of a current file keeps its data";

    EXPECT_EQ(mgmt->ClosePimDatabase(&err), S_OK);
    EXPECT_EQ(std::pair(mgmt->ClosePimDatabase(&err), err), std::pair(S_OK, kUntouched));
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(std::pair(profiles->GetNumOfProfiles(&err, &n), err), std::pair(E_UNEXPECTED, PIMERR_NOT_CONNECTED))
        << "the connection reports the closed database";
}

TEST_F(ManagementTest, AccessObjectsAreNewEachTimeAndOutliveTheFacade) {
    ASSERT_EQ(Open("l.db"), S_OK);
    auto profiles = Profiles();
    EXPECT_NE(static_cast<void*>(profiles.get()), static_cast<void*>(Profiles().get()));
    mgmt.Reset();
    EXPECT_EQ(AddProfile(profiles.get(), u"still here"), S_OK) << "releasing the facade closed the database";
    LONG n = 0;
    EXPECT_EQ(profiles->GetNumOfProfiles(nullptr, &n), S_OK);
    EXPECT_EQ(n, 1);
}

TEST_F(ManagementTest, OperationsRefuseAMissingTextOrOutPointerOpenNothingAndIgnoreIdentifiersOfNoAccessClass) {
    Bstr file = m_dir.bstr("a.db"), some(u"x"), empty(u"");
    using Get = std::function<HRESULT(LONG*)>;
    // The facade's `method` called with the given arguments after the error ID.
    auto call = [this](auto method, auto... args) {
        return Get([=, this](LONG* e) { return (mgmt.get()->*method)(e, args...); });
    };
    auto list = [](auto... calls) { return std::vector<Get>{calls...}; };
    using M = IPimManagement;
    auto open = [&](BSTR user, BSTR pwd, BSTR name) { return call(&M::OpenPimDatabase, user, pwd, name); };
    GUID iid = IID_IProfileAccess;
    void* p = nullptr;
    const std::vector<Get> gets =
        list(open(some, empty, file), open(empty, some, file), open(some, some, empty), open(nullptr, some, file),
             open(some, nullptr, file), open(some, some, nullptr), call(&M::SetCurrentProfile, empty.get()),
             call(&M::SetCurrentProfile, nullptr), call(&M::GetProfileAccess, nullptr),
             call(&M::GetSyncOption, nullptr), call(&M::GetMostFrequentlyPlayedMusic, nullptr),
             call(&M::GetMostFrequentlyPlayedPodcast, nullptr), call(&M::GetContactGroupAccess, nullptr),
             call(&M::GetContactAccess, nullptr), call(&M::GetEventCategoryAccess, nullptr),
             call(&M::GetEventAccess, nullptr), call(&M::GetTaskAccess, nullptr), call(&M::IsOpenPimDatabase, nullptr),
             call(&M::GetAccessInterface, &iid, nullptr), call(&M::GetAccessInterface, nullptr, &p));
    for (size_t i = 0; i < std::size(gets); ++i) {
        LONG err = kUntouched;
        EXPECT_EQ(std::pair(gets[i](&err), err), std::pair(E_INVALIDARG, PIMERR_INVALID_ARGUMENT)) << "case " << i;
        EXPECT_FALSE(IsOpen()) << "case " << i;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("a.db")));
    LONG err = kUntouched;
    EXPECT_EQ(mgmt->SetCurrentProfile(&err, Bstr(u"42")), S_OK);
    // Each access interface it hands out is exercised by the dispatch fuzz target.
    GUID other = IID_IPimManagement;
    void* untouched = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(mgmt->GetAccessInterface(&err, &other, &untouched), S_OK);
    EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1234)) << "an identifier of no access class changes nothing";
    EXPECT_EQ(err, kUntouched);
}

TEST_F(ManagementTest, TracesTheFacadeStepsOfOpeningANewFile) {
    TraceRecorder recorder;
    ASSERT_EQ(Open("t.db"), S_OK);
    std::vector<std::string> expected = {
        "CPimManagement::OpenPimDatabase.[ENTER]",  "CPimDbAccess::OpenPimDatabase.[ENTER]",
        "CPimDbAccess::OpenPimDatabase.[Success]",  "CPimManagement::OptimizePimDatabasePerformance",
        "CPimManagement::UpdatePimDatabase",        "CPimManagement::GetPimDatabaseVersion",
        "CPimManagement::UpdateFromInvalidVersion",
    };
    EXPECT_EQ(recorder.texts(), expected);
    recorder.clear();
    mgmt.Reset();
    expected = {"CPimManagement::FinalRelease.[ENTER]", "CPimDbAccess::FinalRelease.[ENTER]",
                "CPimDbAccess::~CPimDbAccess.[ENTER]", "CPimManagement::~CPimManagement.[ENTER]"};
    EXPECT_EQ(recorder.texts(), expected);
}

}  // namespace
}  // namespace calyra::test
