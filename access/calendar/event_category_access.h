// CEventCategoryAccess: the user-defined event categories of the current
// profile ([tEventCategory]): a name, an opaque 32-bit colour, a flag for
// synchronisation with the device and the "selected" flag that
// GetAllSelectedEvents of the event object joins on.
//
// Keeps a record cache for reading by position: GetNumOfEventCategories
// refills it, GetEventCategoryByIndex copies one entry out; writes leave it
// as it is until the next refill.
//
// Ownership: arrays, records and strings handed out are new and belong to
// the caller; records passed in are only read; the cache owns its records.
// Thread-safety: free-threaded; every operation holds the object lock after
// its argument checks (the index check is made under it).
#pragma once

#include "core/pim_access_object.h"

namespace calyra {

class CEventCategoryAccess
    : public CPimProfiledAccessObject<CEventCategoryAccess, IEventCategoryAccess, &CLSID_EventCategoryAccess> {
public:
    CEventCategoryAccess();
    ~CEventCategoryAccess() override;

    void ClearCache() override { m_cache.Clear(); }

    STDMETHODIMP GetNumOfEventCategories(LONG* plErrorID, LONG* plNumOfEventCategories) override;
    STDMETHODIMP GetEventCategoryByIndex(LONG* plErrorID, LONG lIndex,
                                         tagEventCategoryInfo* pEventCategoryInfo) override;
    STDMETHODIMP GetAllEventCategories(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppEventCategoryInfo) override;
    STDMETHODIMP AddEventCategory(LONG* plErrorID, tagEventCategoryInfo* pEventCategoryInfo,
                                  BSTR* pbstrEventCategoryID) override;
    STDMETHODIMP DeleteEventCategoryByID(LONG* plErrorID, BSTR bstrEventCategoryID) override;
    STDMETHODIMP ModifyEventCategoryByID(LONG* plErrorID, BSTR bstrEventCategoryID,
                                         tagEventCategoryInfo* pEventCategoryInfo) override;

private:
    // The list query of the current profile. REQUIRES: m_csAccess held.
    SqlText ListQuery() const;

    RecordCache<tagEventCategoryInfo> m_cache;  // Guarded by m_csAccess.
};

}  // namespace calyra
