// CMostFrequentlyPlayedMusic: play statistics of music files
// ([tMostFrequentlyPlayedMusic]) for the current profile: one entry per
// file path with album, title, artist, play counter and last play.
//
// The behaviour is CPlayStatisticsAccess's (play_statistics_access.h); this
// class names the music record, table and interface. Thread-safety:
// registered for both threading models, with an atomic reference count;
// every operation except UpdateMostFrequentlyPlayedMusic holds the object
// lock after its argument checks.
#pragma once

#include "access/playstats/play_statistics_access.h"

namespace calyra {

struct MusicPlayTable;  // the statements' description, in the source file

class CMostFrequentlyPlayedMusic
    : public CPlayStatisticsAccess<CMostFrequentlyPlayedMusic, IMostFrequentlyPlayedMusic, tagMostFrequentlyPlayedMusic,
                                   &CLSID_MostFrequentlyPlayedMusic, CComMultiThreadModel, MusicPlayTable> {
public:
    STDMETHODIMP QueryMfpmEntry(LONG* plErrorID, tagMostFrequentlyPlayedMusic* pEntry, VARIANT_BOOL* pvbExist) override;
    STDMETHODIMP AddMfpmEntry(LONG* plErrorID, tagMostFrequentlyPlayedMusic* pEntry, BSTR* pbstrEntryID) override;
    STDMETHODIMP DeleteMfpmEntryByID(LONG* plErrorID, BSTR bstrEntryID) override;
    STDMETHODIMP ModifyMfpmEntryByID(LONG* plErrorID, BSTR bstrEntryID, tagMostFrequentlyPlayedMusic* pEntry) override;
    STDMETHODIMP ModifyMfpmEntryByIDEx(LONG* plErrorID, BSTR bstrEntryID,
                                       tagMostFrequentlyPlayedMusic* pEntry) override;
    STDMETHODIMP GetMostFrequentlyPlayedMusics(LONG* plErrorID, LONG lCnt, LONG* plNum, SAFEARRAY** ppEntries) override;
    STDMETHODIMP UpdateMostFrequentlyPlayedMusic(LONG* plErrorID, tagMostFrequentlyPlayedMusic* pEntry) override;
};

}  // namespace calyra
