// CProfileAccess: the device profiles of the database ([tProfile]).
//
// Bound to no profile: it lists, adds, changes and deletes profile rows
// across the whole file. Keeps a record cache of the table for reading by
// position. Thread-safety: every operation holds the object lock after its
// argument checks.
#pragma once

#include "core/pim_access_object.h"

namespace calyra {

class CProfileAccess : public CPimAccessObject<CProfileAccess, IProfileAccess, &CLSID_ProfileAccess> {
public:
    CProfileAccess();
    ~CProfileAccess() override;

    void ClearCache() override { m_cache.Clear(); }

    STDMETHODIMP GetNumOfProfiles(LONG* plErrorID, LONG* plNumOfProfiles) override;
    STDMETHODIMP GetProfileByIndex(LONG* plErrorID, LONG lIndex, tagProfileInfo* pProfileInfo) override;
    STDMETHODIMP GetAllProfiles(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppProfileInfo) override;
    STDMETHODIMP AddProfile(LONG* plErrorID, tagProfileInfo* pProfileInfo, BSTR* pbstrProfileID) override;
    STDMETHODIMP DeleteProfileByID(LONG* plErrorID, BSTR bstrProfileID) override;
    STDMETHODIMP ModifyProfileByID(LONG* plErrorID, BSTR bstrProfileID, tagProfileInfo* pProfileInfo) override;

private:
    RecordCache<tagProfileInfo> m_cache;  // Guarded by m_csAccess.
};

}  // namespace calyra
