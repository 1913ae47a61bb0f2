// CPlayStatisticsAccess: the one implementation behind both play-statistics
// classes, music ([tMostFrequentlyPlayedMusic]) and podcasts
// ([tMostFrequentlyPlayedPodcast]).
//
// Both keep, per profile, one entry per played file, found by its full
// path, with a play counter and the time of the last play; recording a play
// inserts on the first one and counts up afterwards, and the top list walks
// the entries by counter, then last play, purging entries whose file is
// gone. The two differ only in their record's text fields, table name and
// interface, which a class states as a table description (see
// PlayStatisticsTable below); the statements are built from it.
//
// Ownership: entries and arrays handed out belong to the caller; the caller's
// record is read, except that a look-up replaces its bstrEntryID (the old
// text is freed) and recording a play raises its lCounter in place.
// Thread-safety: every operation but the play recording holds the object
// lock after its argument checks; the play recording takes no lock of its
// own and calls the look-up, insert and count operations through the
// object's interface, each of which locks. Two first plays of one path at
// the same time can therefore both insert. The top list's purge deletes
// through the object's own delete operation while holding the (re-entrant)
// lock and its result set.
#pragma once

#include <cstddef>

#include "core/pim_access_object.h"

namespace calyra {

// A table description `Table` provides, as static constexpr members:
//   kTable        Sql, the table, e.g. u"[tMostFrequentlyPlayedMusic]";
//   kTextColumns  FieldMap[] of FieldKind::Text, the record's text columns
//                 between [ProfileID] and [Counter] in table order,
//                 [FullPath] last;
//   kQuery, kAdd, kDelete, kCountPlay
//                 pointers to the interface's look-up, insert, delete and
//                 count-one-play operations, which the play recording and
//                 the purge call through the object's own interface.
// Every record has bstrEntryID, bstrFullPath, lCounter and dtLastPlayed.
//
// The operation bodies live in play_statistics_access_impl.h, included only
// by the two classes' source files (where the descriptions are complete).
template <class T, class Itf, class Record, const CLSID* pclsid, class ThreadModel, class Table>
class CPlayStatisticsAccess : public CPimProfiledAccessObject<T, Itf, pclsid, ThreadModel> {
protected:
    // Look-up by path: on a hit only the record's bstrEntryID is replaced.
    HRESULT QueryEntry(LONG* plErrorID, Record* pEntry, VARIANT_BOOL* pvbExist);
    // New entry with counter 1 and last played now; pbstrEntryID may be NULL.
    HRESULT AddEntry(LONG* plErrorID, Record* pEntry, BSTR* pbstrEntryID);
    // By ID alone: no profile condition.
    HRESULT DeleteEntry(LONG* plErrorID, BSTR bstrEntryID);
    // Writes every text field and the counter; last played becomes now.
    HRESULT ModifyEntry(LONG* plErrorID, BSTR bstrEntryID, Record* pEntry);
    // Counter + 1 and last played now; the record must be given but is unused.
    HRESULT CountPlay(LONG* plErrorID, BSTR bstrEntryID, Record* pEntry);
    // Exactly lCnt (1 to 99) elements, *plNum of them filled.
    HRESULT GetTopEntries(LONG* plErrorID, LONG lCnt, LONG* plNum, SAFEARRAY** ppEntries);
    // Its walk over rows stepped as it goes. REQUIRES: m_csAccess held.
    HRESULT GetTopEntriesAsStepped(IPimDbRows* reader, LONG* plErrorID, LONG lCnt, LONG* plNum, SAFEARRAY** ppEntries,
                                   BSTR sql);
    // One play of pEntry->bstrFullPath. Takes no lock itself.
    HRESULT RecordPlay(LONG* plErrorID, Record* pEntry);
};

}  // namespace calyra
