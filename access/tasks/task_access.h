// CTaskAccess: the to-do tasks of the current profile ([tTask]), listed in
// the order of their creation.
//
// Keeps a record cache for reading by position: GetNumOfTasks refills it,
// GetTaskByIndex copies one entry out; writes leave it as it is until the
// next refill. The recurrence rule is stored and returned, never expanded.
//
// Ownership: arrays, records and strings handed out are new and belong to
// the caller; records passed in are only read; the cache owns its records.
// Thread-safety: free-threaded; every operation holds the object lock after
// its argument checks (the index check is made under it).
#pragma once

#include "core/pim_access_object.h"

namespace calyra {

class CTaskAccess : public CPimProfiledAccessObject<CTaskAccess, ITaskAccess, &CLSID_TaskAccess> {
public:
    CTaskAccess();
    ~CTaskAccess() override;

    void ClearCache() override { m_cache.Clear(); }

    STDMETHODIMP GetNumOfTasks(LONG* plErrorID, LONG* plNumOfTasks) override;
    STDMETHODIMP GetTaskByIndex(LONG* plErrorID, LONG lIndex, tagTaskInfo* pTaskInfo) override;
    STDMETHODIMP GetAllTasks(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppTaskInfo) override;
    STDMETHODIMP AddTask(LONG* plErrorID, tagTaskInfo* pTaskInfo, BSTR* pbstrTaskID) override;
    STDMETHODIMP DeleteTaskByID(LONG* plErrorID, BSTR bstrTaskID) override;
    STDMETHODIMP DeleteAllTasks(LONG* plErrorID) override;
    STDMETHODIMP ModifyTaskByID(LONG* plErrorID, BSTR bstrTaskID, tagTaskInfo* pTaskInfo) override;
    STDMETHODIMP GetTaskByID(LONG* plErrorID, BSTR bstrTaskID, tagTaskInfo* pTaskInfo) override;
    STDMETHODIMP ExistTask(LONG* plErrorID, BSTR bstrTaskID, VARIANT_BOOL* pvbFound) override;

private:
    // The task list of the current profile, oldest first.
    // REQUIRES: m_csAccess held.
    SqlText ListQuery() const;

    RecordCache<tagTaskInfo> m_cache;  // Guarded by m_csAccess.
};

}  // namespace calyra
