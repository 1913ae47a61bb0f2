// Music play statistics: the music table's description and the interface
// operations, each handed to the shared implementation.
#include "access/playstats/most_frequently_played_music.h"

#include "access/playstats/play_statistics_access_impl.h"

namespace calyra {

struct MusicPlayTable {
    static constexpr Sql kTable{u"[tMostFrequentlyPlayedMusic]"};
    static constexpr FieldMap kTextColumns[] = {
        {u"[Album]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedMusic, bstrAlbum), 0},
        {u"[Title]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedMusic, bstrTitle), 0},
        {u"[Artist]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedMusic, bstrArtist), 0},
        {u"[FullPath]", FieldKind::Text, offsetof(tagMostFrequentlyPlayedMusic, bstrFullPath), 0},
    };
    static constexpr auto kQuery = &IMostFrequentlyPlayedMusic::QueryMfpmEntry;
    static constexpr auto kAdd = &IMostFrequentlyPlayedMusic::AddMfpmEntry;
    static constexpr auto kDelete = &IMostFrequentlyPlayedMusic::DeleteMfpmEntryByID;
    static constexpr auto kCountPlay = &IMostFrequentlyPlayedMusic::ModifyMfpmEntryByIDEx;
};

STDMETHODIMP CMostFrequentlyPlayedMusic::QueryMfpmEntry(LONG* plErrorID, tagMostFrequentlyPlayedMusic* pEntry,
                                                        VARIANT_BOOL* pvbExist) {
    return QueryEntry(plErrorID, pEntry, pvbExist);
}

STDMETHODIMP CMostFrequentlyPlayedMusic::AddMfpmEntry(LONG* plErrorID, tagMostFrequentlyPlayedMusic* pEntry,
                                                      BSTR* pbstrEntryID) {
    return AddEntry(plErrorID, pEntry, pbstrEntryID);
}

STDMETHODIMP CMostFrequentlyPlayedMusic::DeleteMfpmEntryByID(LONG* plErrorID, BSTR bstrEntryID) {
    return DeleteEntry(plErrorID, bstrEntryID);
}

STDMETHODIMP CMostFrequentlyPlayedMusic::ModifyMfpmEntryByID(LONG* plErrorID, BSTR bstrEntryID,
                                                             tagMostFrequentlyPlayedMusic* pEntry) {
    return ModifyEntry(plErrorID, bstrEntryID, pEntry);
}

STDMETHODIMP CMostFrequentlyPlayedMusic::ModifyMfpmEntryByIDEx(LONG* plErrorID, BSTR bstrEntryID,
                                                               tagMostFrequentlyPlayedMusic* pEntry) {
    return CountPlay(plErrorID, bstrEntryID, pEntry);
}

STDMETHODIMP CMostFrequentlyPlayedMusic::GetMostFrequentlyPlayedMusics(LONG* plErrorID, LONG lCnt, LONG* plNum,
                                                                       SAFEARRAY** ppEntries) {
    return GetTopEntries(plErrorID, lCnt, plNum, ppEntries);
}

STDMETHODIMP CMostFrequentlyPlayedMusic::UpdateMostFrequentlyPlayedMusic(LONG* plErrorID,
                                                                         tagMostFrequentlyPlayedMusic* pEntry) {
    return RecordPlay(plErrorID, pEntry);
}

}  // namespace calyra
