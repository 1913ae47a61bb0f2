// The management facade.
#include "management/pim_management.h"

#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/pim_error.h"
#include "core/trace.h"
#include "management/schema_upgrade.h"
#include "platform/com_runtime.h"
#include "platform/system/interprocess_lock.h"

namespace calyra {

// How each kind of access object is made and wired. Every access interface
// starts with SetPimDbAccess, and all but the profile interface continue
// with SetProfileID, so one template serves them all.
struct CPimManagement::AccessClass {
    const IID* iid;
    const CLSID* clsid;
    HRESULT (*wire)(IUnknown* object, IPimDbAccess* db, BSTR profileID);
};

namespace {

template <class I, bool kHasProfile>
HRESULT Wire(IUnknown* object, IPimDbAccess* db, BSTR profileID) {
    I* access = static_cast<I*>(object);
    // The facade ignores both results and their error IDs. The object may
    // live in another apartment (the podcast class), whose proxy refuses a
    // NULL error-ID pointer, so it gets one nobody reads.
    LONG ignored = 0;
    access->SetPimDbAccess(&ignored, db);
    if constexpr (kHasProfile) access->SetProfileID(&ignored, profileID);
    return S_OK;
}

// In the order GetAccessInterface compares the identifiers.
const CPimManagement::AccessClass kAccessClasses[] = {
    {&IID_IProfileAccess, &CLSID_ProfileAccess, &Wire<IProfileAccess, false>},
    {&IID_IContactGroupAccess, &CLSID_ContactGroupAccess, &Wire<IContactGroupAccess, true>},
    {&IID_IEventCategoryAccess, &CLSID_EventCategoryAccess, &Wire<IEventCategoryAccess, true>},
    {&IID_IEventAccess, &CLSID_EventAccess, &Wire<IEventAccess, true>},
    {&IID_ITaskAccess, &CLSID_TaskAccess, &Wire<ITaskAccess, true>},
    {&IID_IContactAccess, &CLSID_ContactAccess, &Wire<IContactAccess, true>},
    {&IID_ISyncOption, &CLSID_SyncOption, &Wire<ISyncOption, true>},
    {&IID_IMostFrequentlyPlayedMusic, &CLSID_MostFrequentlyPlayedMusic, &Wire<IMostFrequentlyPlayedMusic, true>},
    {&IID_IMostFrequentlyPlayedPodcast, &CLSID_MostFrequentlyPlayedPodcast, &Wire<IMostFrequentlyPlayedPodcast, true>},
};

const CPimManagement::AccessClass* FindAccessClass(const IID& iid) {
    for (const auto& cls : kAccessClasses)
        if (IsEqualIID(*cls.iid, iid)) return &cls;
    return nullptr;
}

}  // namespace

CPimManagement::CPimManagement() {
    InitializeCriticalSection(&m_csMgmt);
    SendTrace("CPimManagement::CPimManagement.[ENTER]");
}

CPimManagement::~CPimManagement() {
    SendTrace("CPimManagement::~CPimManagement.[ENTER]");
    DeleteCriticalSection(&m_csMgmt);
}

HRESULT CPimManagement::FinalConstruct() {
    SendTrace("CPimManagement::FinalConstruct.[ENTER]");
    if (m_pPimDbAccess) return E_FAIL;
    return CoCreateInstance(CLSID_PimDbAccess, nullptr, CLSCTX_ALL, IID_IPimDbAccess,
                            reinterpret_cast<void**>(&m_pPimDbAccess));
}

void CPimManagement::FinalRelease() {
    SendTrace("CPimManagement::FinalRelease.[ENTER]");
    if (m_pPimDbAccess) m_pPimDbAccess->Release();
    m_pPimDbAccess = nullptr;
}

namespace {

// How long an open waits for another process's schema work on the same file.
constexpr DWORD kSchemaLockTimeoutMs = 30000;

// The lock's name: the file's full path, so every spelling of one file
// (relative, with "..", through a symbolic link) names the same lock.
std::u16string SchemaLockName(BSTR file) {
    std::u16string path(BstrView(file));
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(std::filesystem::path(path), ec);
    return u"Calyra.OpenPimDatabase:" + (ec ? path : canonical.u16string());
}

}  // namespace

STDMETHODIMP CPimManagement::OpenPimDatabase(LONG* plErrorID, BSTR bstrUser, BSTR bstrPwd, BSTR bstrDbFile) {
    SendTrace("CPimManagement::OpenPimDatabase.[ENTER]");
    if (SysStringLen(bstrUser) == 0 || SysStringLen(bstrPwd) == 0 || SysStringLen(bstrDbFile) == 0)
        return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);

    CriticalSectionLock lock(m_csMgmt);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_FAIL);

    HRESULT hr = m_pPimDbAccess->OpenPimDatabase(plErrorID, bstrUser, bstrPwd, bstrDbFile);
    if (FAILED(hr)) return hr;
    // The schema work reports nothing: a half-done upgrade still leaves an
    // open database, and it is repeated at the next open if the version row
    // was not yet rewritten.
    try {
        OptimizePimDatabasePerformance(m_pPimDbAccess);
        // Another process opening the same file runs the version check and
        // the upgrade one after the other with this one: without the lock,
        // a second opener of a new file sees no version row yet and drops
        // the tables (and rows) the first one has just made. The statements
        // themselves are unchanged; a lock that does not come in time (its
        // holder is still upgrading) leaves the schema to that holder.
        InterprocessLock schemaLock(SchemaLockName(bstrDbFile), kSchemaLockTimeoutMs);
        if (schemaLock.held()) UpdatePimDatabase(m_pPimDbAccess);
    } catch (...) {
    }
    return S_OK;
}

STDMETHODIMP CPimManagement::ClosePimDatabase(LONG* plErrorID) {
    SendTrace("CPimManagement::ClosePimDatabase.[ENTER]");
    CriticalSectionLock lock(m_csMgmt);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_FAIL);
    m_pPimDbAccess->ClosePimDatabase(nullptr);
    return S_OK;
}

STDMETHODIMP CPimManagement::IsOpenPimDatabase(LONG* plErrorID, VARIANT_BOOL* pvbOpen) {
    SendTrace("CPimManagement::IsOpenPimDatabase.[ENTER]");
    if (!pvbOpen) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csMgmt);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_FAIL);
    return m_pPimDbAccess->IsOpenPimDatabase(plErrorID, pvbOpen);
}

STDMETHODIMP CPimManagement::GetAccessInterface(LONG* plErrorID, GUID* riid, void** ppvObject) {
    SendTrace("CPimManagement::GetAccessInterface.[ENTER]");
    // A missing identifier is refused like a missing out-pointer.
    if (!ppvObject || !riid) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csMgmt);
    const AccessClass* cls = FindAccessClass(*riid);
    if (!cls) return S_OK;  // not one of ours: *ppvObject stays as it was
    return CreateAccessObject(plErrorID, *cls, ppvObject);
}

STDMETHODIMP CPimManagement::SetCurrentProfile(LONG* plErrorID, BSTR bstrProfileID) {
    SendTrace("CPimManagement::SetCurrentProfile.[ENTER]");
    if (SysStringLen(bstrProfileID) == 0) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    Bstr copy(BstrView(bstrProfileID));
    CriticalSectionLock lock(m_csMgmt);
    m_bstrProfileID = std::move(copy);
    return S_OK;
}

HRESULT CPimManagement::CreateAccessObject(LONG* plErrorID, const AccessClass& cls, void** ppv) {
    IUnknown* object = nullptr;
    HRESULT hr = CoCreateInstance(*cls.clsid, nullptr, CLSCTX_ALL, *cls.iid, reinterpret_cast<void**>(&object));
    if (FAILED(hr) || !object) {
        *ppv = nullptr;
        return ReportPimError(plErrorID, PIMERR_CREATE_FAILED, E_FAIL);
    }
    cls.wire(object, m_pPimDbAccess, m_bstrProfileID.get());
    *ppv = object;  // the reference from the creation passes to the caller
    return S_OK;
}

HRESULT CPimManagement::GetAccess(LONG* plErrorID, const char* trace, const IID& iid, void** ppv) {
    SendTrace(trace);
    if (!ppv) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csMgmt);
    return CreateAccessObject(plErrorID, *FindAccessClass(iid), ppv);
}

STDMETHODIMP CPimManagement::GetProfileAccess(LONG* plErrorID, IProfileAccess** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetProfileAccess.[ENTER]", IID_IProfileAccess,
                     reinterpret_cast<void**>(pp));
}

STDMETHODIMP CPimManagement::GetSyncOption(LONG* plErrorID, ISyncOption** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetSyncOption.[ENTER]", IID_ISyncOption, reinterpret_cast<void**>(pp));
}

STDMETHODIMP CPimManagement::GetMostFrequentlyPlayedMusic(LONG* plErrorID, IMostFrequentlyPlayedMusic** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetMostFrequentlyPlayedMusic.[ENTER]", IID_IMostFrequentlyPlayedMusic,
                     reinterpret_cast<void**>(pp));
}

STDMETHODIMP CPimManagement::GetMostFrequentlyPlayedPodcast(LONG* plErrorID, IMostFrequentlyPlayedPodcast** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetMostFrequentlyPlayedPodcast.[ENTER]",
                     IID_IMostFrequentlyPlayedPodcast, reinterpret_cast<void**>(pp));
}

STDMETHODIMP CPimManagement::GetContactGroupAccess(LONG* plErrorID, IContactGroupAccess** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetContactGroupAccess.[ENTER]", IID_IContactGroupAccess,
                     reinterpret_cast<void**>(pp));
}

STDMETHODIMP CPimManagement::GetContactAccess(LONG* plErrorID, IContactAccess** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetContactAccess.[ENTER]", IID_IContactAccess,
                     reinterpret_cast<void**>(pp));
}

STDMETHODIMP CPimManagement::GetEventCategoryAccess(LONG* plErrorID, IEventCategoryAccess** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetEventCategoryAccess.[ENTER]", IID_IEventCategoryAccess,
                     reinterpret_cast<void**>(pp));
}

STDMETHODIMP CPimManagement::GetEventAccess(LONG* plErrorID, IEventAccess** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetEventAccess.[ENTER]", IID_IEventAccess,
                     reinterpret_cast<void**>(pp));
}

STDMETHODIMP CPimManagement::GetTaskAccess(LONG* plErrorID, ITaskAccess** pp) {
    return GetAccess(plErrorID, "CPimManagement::GetTaskAccess.[ENTER]", IID_ITaskAccess, reinterpret_cast<void**>(pp));
}

}  // namespace calyra
