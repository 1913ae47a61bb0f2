// The management facade as a client meets it: created through the
// registry from the built module, opening files, handing out access
// objects.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "idl/calyra_idl.h"
#include "module_fixture.h"
#include "platform/com_ptr.h"
#include "platform/com_runtime.h"
#include "support/test_values.h"
#include "support/trace_recorder.h"

namespace calyra::test {
namespace {

class ManagementTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_EQ(Register(), S_OK);
        mgmt = NewFacade();
        ASSERT_TRUE(mgmt);
    }
    static ComPtr<IPimManagement> NewFacade() {
        ComPtr<IPimManagement> m;
        EXPECT_EQ(CoCreateInstance(CLSID_PimManagement, nullptr, CLSCTX_ALL, IID_IPimManagement,
                                   reinterpret_cast<void**>(&m)),
                  S_OK);
        return m;
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
    EXPECT_EQ(profiles->GetNumOfProfiles(&err, &n), E_UNEXPECTED);
    EXPECT_EQ(err, PIMERR_NOT_CONNECTED);
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
    EXPECT_EQ(mgmt->ClosePimDatabase(&err), S_OK);
    EXPECT_EQ(err, kUntouched);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(profiles->GetNumOfProfiles(&err, &n), E_UNEXPECTED);
    EXPECT_EQ(err, PIMERR_NOT_CONNECTED) << "the connection reports the closed database";
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

TEST_F(ManagementTest, OperationsRefuseAMissingTextOrOutPointerAndOpenNothing) {
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
        EXPECT_EQ(gets[i](&err), E_INVALIDARG) << "case " << i;
        EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT) << "case " << i;
        EXPECT_FALSE(IsOpen()) << "case " << i;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("a.db")));
    LONG err = kUntouched;
    EXPECT_EQ(mgmt->SetCurrentProfile(&err, Bstr(u"42")), S_OK);
    EXPECT_EQ(err, kUntouched);
}

// Each access interface it hands out is exercised by the dispatch fuzz target.
TEST_F(ManagementTest, GetAccessInterfaceIgnoresIdentifiersOfNoAccessClass) {
    GUID other = IID_IPimManagement;
    void* untouched = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(mgmt->GetAccessInterface(nullptr, &other, &untouched), S_OK);
    EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1234)) << "an identifier of no access class changes nothing";
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
