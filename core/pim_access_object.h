// The skeleton every access class derives from: the data access base, the
// object root, the class binding and the dual interface, with the two
// wiring operations every access interface shares.
//
//   class CContactAccess : public CPimProfiledAccessObject<CContactAccess,
//                                                          IContactAccess,
//                                                          &CLSID_ContactAccess> { ... };
//
// Thread-safety as in CPimDataAccess: SetPimDbAccess and SetProfileID take
// the object lock like every other operation.
#pragma once

#include "comserver/object_root.h"
#include "core/pim_data_access.h"
#include "idl/typelib_dispatch.h"

namespace calyra {

template <class T, class Itf, const CLSID* pclsid, class ThreadModel = CComMultiThreadModel>
class CPimAccessObject : public CPimDataAccess,
                         public CComObjectRootEx<ThreadModel>,
                         public CComCoClass<T, pclsid>,
                         public IDispatchImpl<Itf> {
public:
    STDMETHODIMP SetPimDbAccess(LONG* plErrorID, IPimDbAccess* pPimDbAccess) override {
        return SetPimDbAccessImpl(plErrorID, pPimDbAccess);
    }

    // The cache goes before destruction begins.
    void FinalRelease() { ClearCache(); }
};

// Access classes bound to one profile: they add SetProfileID and the
// profile ID that their statements filter on.
template <class T, class Itf, const CLSID* pclsid, class ThreadModel = CComMultiThreadModel>
class CPimProfiledAccessObject : public CPimAccessObject<T, Itf, pclsid, ThreadModel> {
public:
    STDMETHODIMP SetProfileID(LONG* /*plErrorID*/, BSTR bstrProfileID) override {
        // Copied before the lock so an allocation failure leaves no trace.
        Bstr copy = bstrProfileID ? Bstr(BstrView(bstrProfileID)) : Bstr();
        CriticalSectionLock lock(this->m_csAccess);
        m_bstrProfileID = std::move(copy);
        return S_OK;
    }

protected:
    // Guarded by m_csAccess. Empty until SetProfileID: statements then match
    // the rows whose profile is the empty text, which is none.
    Bstr m_bstrProfileID{u""};
};

}  // namespace calyra
