// CSyncOption: the synchronisation settings of a profile ([tSyncOption],
// one row per kind of data), the albums chosen for synchronisation
// ([tSyncAlbum]) and the read-only lists of albums and podcast files
// already synchronised ([tAlbum], [tFile]).
//
// The kind of data (lType) and every option are the client's numbers: they
// are stored and returned, never interpreted. Records and arrays handed out
// belong to the caller. Thread-safety: registered for both threading
// models; every operation holds the object lock after its argument checks,
// and the reference count is atomic.
#pragma once

#include "core/pim_access_object.h"

namespace calyra {

class CSyncOption : public CPimProfiledAccessObject<CSyncOption, ISyncOption, &CLSID_SyncOption> {
public:
    STDMETHODIMP GetSyncOption(LONG* plErrorID, LONG lType, tagSyncOptions* pSyncOptions) override;
    STDMETHODIMP UpdateSyncOption(LONG* plErrorID, LONG lType, tagSyncOptions* pSyncOptions) override;
    STDMETHODIMP GetSyncAlbums(LONG* plErrorID, LONG lType, LONG* plNum, SAFEARRAY** ppSyncAlbums) override;
    STDMETHODIMP AddSyncAlbum(LONG* plErrorID, LONG lType, tagSyncAlbumItem* pSyncAlbum) override;
    STDMETHODIMP RemoveSyncAlbum(LONG* plErrorID, LONG lType, BSTR bstrAlbum) override;
    STDMETHODIMP ClearSyncAlbums(LONG* plErrorID, LONG lType) override;
    STDMETHODIMP GetSyncedAlbums(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppSyncedAlbums) override;
    STDMETHODIMP GetSyncedPodcasts(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppSyncedPodcasts) override;

private:
    // The condition every settings and album statement ends with: this
    // profile and the given kind of data, up to the closing quote.
    // REQUIRES: m_csAccess held (reads m_bstrProfileID).
    SqlText ProfileAndType(LONG lType) const;
};

}  // namespace calyra
