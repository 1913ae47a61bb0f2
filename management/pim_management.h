// CPimManagement: the object a client creates first. It owns the one
// connection, opens the database file through it and brings the schema up
// to date, remembers the current profile ID and hands out access objects
// already wired to the connection and the profile.
//
// Access objects are created through CoCreateInstance by their registered
// class identifiers; each holds its own reference to the shared connection,
// so they keep working after the facade is released. Releasing never closes
// the database. Thread-safety: every operation runs under m_csMgmt after its
// argument checks; the connection's own lock is taken inside it, never the
// other way round.
#pragma once

#include "comserver/object_root.h"
#include "idl/calyra_idl.h"
#include "idl/typelib_dispatch.h"
#include "platform/bstr.h"
#include "platform/system/critical_section.h"

namespace calyra {

class CPimManagement : public CComObjectRootEx<CComMultiThreadModel>,
                       public IDispatchImpl<IPimManagement>,
                       public CComCoClass<CPimManagement, &CLSID_PimManagement> {
public:
    CPimManagement();
    ~CPimManagement();
    CPimManagement(const CPimManagement&) = delete;
    CPimManagement& operator=(const CPimManagement&) = delete;

    HRESULT FinalConstruct();
    void FinalRelease();

    STDMETHODIMP OpenPimDatabase(LONG* plErrorID, BSTR bstrUser, BSTR bstrPwd, BSTR bstrDbFile) override;
    STDMETHODIMP ClosePimDatabase(LONG* plErrorID) override;
    STDMETHODIMP IsOpenPimDatabase(LONG* plErrorID, VARIANT_BOOL* pvbOpen) override;
    STDMETHODIMP GetAccessInterface(LONG* plErrorID, GUID* riid, void** ppvObject) override;
    STDMETHODIMP SetCurrentProfile(LONG* plErrorID, BSTR bstrProfileID) override;
    STDMETHODIMP GetProfileAccess(LONG* plErrorID, IProfileAccess** ppIProfileAccess) override;
    STDMETHODIMP GetSyncOption(LONG* plErrorID, ISyncOption** ppISyncOption) override;
    STDMETHODIMP GetMostFrequentlyPlayedMusic(LONG* plErrorID,
                                              IMostFrequentlyPlayedMusic** ppIMostFrequentlyPlayedMusic) override;
    STDMETHODIMP GetMostFrequentlyPlayedPodcast(LONG* plErrorID,
                                                IMostFrequentlyPlayedPodcast** ppIMostFrequentlyPlayedPodcast) override;
    STDMETHODIMP GetContactGroupAccess(LONG* plErrorID, IContactGroupAccess** ppIContactGroupAccess) override;
    STDMETHODIMP GetContactAccess(LONG* plErrorID, IContactAccess** ppIContactAccess) override;
    STDMETHODIMP GetEventCategoryAccess(LONG* plErrorID, IEventCategoryAccess** ppIEventCategoryAccess) override;
    STDMETHODIMP GetEventAccess(LONG* plErrorID, IEventAccess** ppIEventAccess) override;
    STDMETHODIMP GetTaskAccess(LONG* plErrorID, ITaskAccess** ppITaskAccess) override;

    struct AccessClass;  // one row of the table of access classes

private:
    // Creates and wires one access object into *ppv; the shared body of the
    // nine GetXxx operations and GetAccessInterface.
    // REQUIRES: m_csMgmt held.
    HRESULT CreateAccessObject(LONG* plErrorID, const AccessClass& cls, void** ppv);
    HRESULT GetAccess(LONG* plErrorID, const char* trace, const IID& iid, void** ppv);

    IPimDbAccess* m_pPimDbAccess = nullptr;  // Guarded by m_csMgmt; one reference held.
    Bstr m_bstrProfileID;                    // Guarded by m_csMgmt; empty until SetCurrentProfile.
    CRITICAL_SECTION m_csMgmt;
};

}  // namespace calyra
