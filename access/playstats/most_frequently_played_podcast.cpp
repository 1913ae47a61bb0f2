// Podcast play statistics: the podcast table's description and the
// interface operations, each handed to the shared implementation.
#include "access/playstats/most_frequently_played_podcast.h"

#include "access/playstats/play_statistics_access_impl.h"

namespace calyra {

struct PodcastPlayTable {
    static constexpr Sql kTable{u"[tMostFrequentlyPlayedPodcast]"};
    // [Time] and [ReleaseDate] are free texts: never converted to dates.
    static constexpr FieldMap kTextColumns[] = {
        {u"[Album]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedPodcast, bstrAlbum), 0},
        {u"[Episode]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedPodcast, bstrEpisode), 0},
        {u"[Time]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedPodcast, bstrTime), 0},
        {u"[ReleaseDate]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedPodcast, bstrReleaseDate), 0},
        {u"[Description]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedPodcast, bstrDescription), 0},
        {u"[FullPath]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedPodcast, bstrFullPath), 0},
    };
    static constexpr auto kQuery = &IMostFrequentlyPlayedPodcast::QueryMfppEntry;
    static constexpr auto kAdd = &IMostFrequentlyPlayedPodcast::AddMfppEntry;
    static constexpr auto kDelete = &IMostFrequentlyPlayedPodcast::DeleteMfppEntryByID;
    static constexpr auto kCountPlay = &IMostFrequentlyPlayedPodcast::ModifyMfppEntryByIDEx;
};

STDMETHODIMP CMostFrequentlyPlayedPodcast::QueryMfppEntry(LONG* plErrorID, tagMostFrequentlyPlayedPodcast* pEntry,
                                                          VARIANT_BOOL* pvbExist) {
    return QueryEntry(plErrorID, pEntry, pvbExist);
}

STDMETHODIMP CMostFrequentlyPlayedPodcast::AddMfppEntry(LONG* plErrorID, tagMostFrequentlyPlayedPodcast* pEntry,
                                                        BSTR* pbstrEntryID) {
    return AddEntry(plErrorID, pEntry, pbstrEntryID);
}

STDMETHODIMP CMostFrequentlyPlayedPodcast::DeleteMfppEntryByID(LONG* plErrorID, BSTR bstrEntryID) {
    return DeleteEntry(plErrorID, bstrEntryID);
}

STDMETHODIMP CMostFrequentlyPlayedPodcast::ModifyMfppEntryByID(LONG* plErrorID, BSTR bstrEntryID,
                                                               tagMostFrequentlyPlayedPodcast* pEntry) {
    return ModifyEntry(plErrorID, bstrEntryID, pEntry);
}

STDMETHODIMP CMostFrequentlyPlayedPodcast::ModifyMfppEntryByIDEx(LONG* plErrorID, BSTR bstrEntryID,
                                                                 tagMostFrequentlyPlayedPodcast* pEntry) {
    return CountPlay(plErrorID, bstrEntryID, pEntry);
}

STDMETHODIMP CMostFrequentlyPlayedPodcast::GetMostFrequentlyPlayedPodcasts(LONG* plErrorID, LONG lCnt, LONG* plNum,
                                                                           SAFEARRAY** ppEntries) {
    return GetTopEntries(plErrorID, lCnt, plNum, ppEntries);
}

STDMETHODIMP CMostFrequentlyPlayedPodcast::UpdateMostFrequentlyPlayedPodcast(LONG* plErrorID,
                                                                             tagMostFrequentlyPlayedPodcast* pEntry) {
    return RecordPlay(plErrorID, pEntry);
}

}  // namespace calyra
