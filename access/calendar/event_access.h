// CEventAccess: the calendar events of the current profile ([tEvent]).
//
// A row is either a master event ([OriginalEventID] 0) or an exception that
// replaces one occurrence of a recurring master and names it in
// [OriginalEventID]. The object lists masters (all, or those overlapping a
// closed time range by category or by selected categories), lists the
// exceptions of a master, and reads, adds, changes and deletes single rows.
// It keeps no cache: every read goes to the database.
//
// Ownership: arrays, records and strings handed out are new and belong to
// the caller; records passed in are only read. Thread-safety: free-threaded;
// every operation holds the object lock after its argument checks, because
// statements and rows go through the one scratch buffer.
#pragma once

#include "core/pim_access_object.h"

namespace calyra {

class CEventAccess : public CPimProfiledAccessObject<CEventAccess, IEventAccess, &CLSID_EventAccess> {
public:
    CEventAccess();
    ~CEventAccess() override;

    STDMETHODIMP GetAllEvents(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppEventInfo) override;
    STDMETHODIMP AddEvent(LONG* plErrorID, tagEventInfo* pEventInfo, BSTR* pbstrEventID) override;
    STDMETHODIMP DeleteEventByID(LONG* plErrorID, BSTR bstrEventID) override;
    STDMETHODIMP DeleteAllEvents(LONG* plErrorID) override;
    STDMETHODIMP ModifyEventByID(LONG* plErrorID, BSTR bstrEventID, tagEventInfo* pEventInfo) override;
    STDMETHODIMP GetEventsByEventCategoryID(LONG* plErrorID, BSTR bstrEventCategoryID, DATE dtStartDateTime,
                                            DATE dtEndDateTime, LONG* plNum, SAFEARRAY** ppEventInfo) override;
    STDMETHODIMP DeleteEventsByEventCategoryID(LONG* plErrorID, BSTR bstrEventCategoryID) override;
    STDMETHODIMP GetAllSelectedEvents(LONG* plErrorID, DATE dtStartDateTime, DATE dtEndDateTime, LONG* plNum,
                                      SAFEARRAY** ppEventInfo) override;
    STDMETHODIMP GetEventByID(LONG* plErrorID, BSTR bstrEventID, tagEventInfo* pEventInfo) override;
    STDMETHODIMP ExistEvent(LONG* plErrorID, BSTR bstrEventID, VARIANT_BOOL* pvbFound) override;
    STDMETHODIMP GetAllExceptions(LONG* plErrorID, BSTR bstrEventID, LONG* plNum, SAFEARRAY** ppEventInfo) override;
    STDMETHODIMP AddException(LONG* plErrorID, BSTR bstrEventID, tagEventInfo* pEventInfo,
                              BSTR* pbstrExceptionID) override;
    STDMETHODIMP DeleteExceptionByID(LONG* plErrorID, BSTR bstrExceptionID) override;
    STDMETHODIMP ModifyExceptionByID(LONG* plErrorID, BSTR bstrExceptionID, tagEventInfo* pEventInfo) override;
    STDMETHODIMP GetExceptionByID(LONG* plErrorID, BSTR bstrExceptionID, tagEventInfo* pEventInfo) override;

private:
    // The insert of AddEvent and AddException: `originalEventID` is the
    // text 0 for a master, the master's ID for an exception.
    // REQUIRES: m_csAccess held.
    SqlText InsertStatement(const tagEventInfo& info, const SqlText& originalEventID) const;
    // The update shared by ModifyEventByID and ModifyExceptionByID.
    HRESULT ModifyRow(LONG* plErrorID, BSTR bstrID, const tagEventInfo* pEventInfo);
};

}  // namespace calyra
