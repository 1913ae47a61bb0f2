// Creating the component's objects the way a client does: through the
// registry, the runtime and the module's class objects. What the runtime
// refuses before it reaches a module (unknown classes, aggregation for
// another interface) is tested with the runtime in tests/platform.
#include <gtest/gtest.h>

#include <atomic>
#include <span>

#include "idl/calyra_idl.h"
#include "idl/class_registration.h"
#include "idl/typelib_description.h"
#include "platform/com_runtime.h"
#include "platform/type_lib.h"
#include "server/module_fixture.h"

namespace calyra {
namespace {

using test::ModuleTest;

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

// Once unregistered, a class is as unknown to the runtime as any other
// (registration_test.cpp, tests/platform/com_runtime_test.cpp). Every class
// it serves is created by identifier below.
TEST_F(CreationTest, ServesOnlyItsOwnClasses) {
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(GetClassObject(kUnknownClsid, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(GetClassObject(CLSID_PimDbAccess, IID_IClassFactory, nullptr), E_POINTER);
}

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

TEST_F(CreationTest, ClassObjectAnswersOnlyItsInterfacesAndAggregatesOnlyForIUnknown) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    void* object = reinterpret_cast<void*>(0x1);
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

}  // namespace
}  // namespace calyra
