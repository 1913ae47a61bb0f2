// CMostFrequentlyPlayedPodcast: play statistics of podcast episodes
// ([tMostFrequentlyPlayedPodcast]) for the current profile: one entry per
// file path with album, episode, time, release date and description (free
// texts, stored as given), play counter and last play.
//
// The behaviour is CPlayStatisticsAccess's (play_statistics_access.h); this
// class names the podcast record, table and interface. Thread-safety:
// registered for the apartment model only, with a plain (non-atomic)
// reference count: one thread per object. Its operations still take the
// object lock exactly as the music class does, and the top list's purge
// relies on that lock being re-entrant.
#pragma once

#include "access/playstats/play_statistics_access.h"

namespace calyra {

struct PodcastPlayTable;  // the statements' description, in the source file

class CMostFrequentlyPlayedPodcast
    : public CPlayStatisticsAccess<CMostFrequentlyPlayedPodcast, IMostFrequentlyPlayedPodcast,
                                   tagMostFrequentlyPlayedPodcast, &CLSID_MostFrequentlyPlayedPodcast,
                                   CComSingleThreadModel, PodcastPlayTable> {
public:
    STDMETHODIMP QueryMfppEntry(LONG* plErrorID, tagMostFrequentlyPlayedPodcast* pEntry,
                                VARIANT_BOOL* pvbExist) override;
    STDMETHODIMP AddMfppEntry(LONG* plErrorID, tagMostFrequentlyPlayedPodcast* pEntry, BSTR* pbstrEntryID) override;
    STDMETHODIMP DeleteMfppEntryByID(LONG* plErrorID, BSTR bstrEntryID) override;
    STDMETHODIMP ModifyMfppEntryByID(LONG* plErrorID, BSTR bstrEntryID,
                                     tagMostFrequentlyPlayedPodcast* pEntry) override;
    STDMETHODIMP ModifyMfppEntryByIDEx(LONG* plErrorID, BSTR bstrEntryID,
                                       tagMostFrequentlyPlayedPodcast* pEntry) override;
    STDMETHODIMP GetMostFrequentlyPlayedPodcasts(LONG* plErrorID, LONG lCnt, LONG* plNum,
                                                 SAFEARRAY** ppEntries) override;
    STDMETHODIMP UpdateMostFrequentlyPlayedPodcast(LONG* plErrorID, tagMostFrequentlyPlayedPodcast* pEntry) override;
};

}  // namespace calyra
