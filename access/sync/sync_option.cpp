// Sync options and sync albums.
#include "access/sync/sync_option.h"

#include <cstddef>

namespace calyra {
namespace {

// GetSyncOption's result columns 0 to 8, and the columns UpdateSyncOption
// writes. lType is not among them: the argument names the row.
constexpr FieldMap kSyncOptionFields[] = {
    {u"[GroupOption]", FieldKind::Long, offsetof(tagSyncOptions, eGroupOption), 0},
    {u"[OptionEx0]", FieldKind::Long, offsetof(tagSyncOptions, lOptionEx0), 0},
    {u"[OptionEx1]", FieldKind::Long, offsetof(tagSyncOptions, lOptionEx1), 0},
    {u"[OptionEx2]", FieldKind::Long, offsetof(tagSyncOptions, lOptionEx2), 0},
    {u"[OptionEx3]", FieldKind::Long, offsetof(tagSyncOptions, lOptionEx3), 0},
    {u"[OptionEx4]", FieldKind::Long, offsetof(tagSyncOptions, lOptionEx4), 0},
    {u"[OptionEx5]", FieldKind::Long, offsetof(tagSyncOptions, lOptionEx5), 0},
    {u"[OptionEx6]", FieldKind::Long, offsetof(tagSyncOptions, lOptionEx6), 0},
    {u"[OptionEx7]", FieldKind::Long, offsetof(tagSyncOptions, lOptionEx7), 0},
};

constexpr Sql kSyncOptionSelect =
    u"SELECT [GroupOption], [OptionEx0], [OptionEx1], [OptionEx2], [OptionEx3], [OptionEx4], [OptionEx5], "
    u"[OptionEx6], [OptionEx7] FROM [tSyncOption] ";
static_assert(ListsColumns(kSyncOptionSelect.view(), u"SELECT ", kSyncOptionFields, u" FROM "));

constexpr Sql kSyncOptionInsertHead =
    u"INSERT INTO [tSyncOption] ([ProfileID], [SyncDataType], [GroupOption], [OptionEx0], [OptionEx1], "
    u"[OptionEx2], [OptionEx3], [OptionEx4], [OptionEx5], [OptionEx6], [OptionEx7]) VALUES('";
static_assert(ListsColumns(kSyncOptionInsertHead.view(), u"[SyncDataType], ", kSyncOptionFields, u") VALUES('"));

// GetSyncAlbums reads [SyncDataType] into lType only to overwrite it with
// the argument afterwards: the element's type is the one asked for.
constexpr FieldMap kSyncAlbumFields[] = {
    {u"[SyncDataType]", FieldKind::Long, offsetof(tagSyncAlbumItem, lType), 0},
    {u"[SyncAlbumName]", FieldKind::Text, offsetof(tagSyncAlbumItem, bstrAlbumName), 0},
    {u"[Option]", FieldKind::Long, offsetof(tagSyncAlbumItem, lOption), 0},
};

constexpr FieldMap kSyncedAlbumFields[] = {
    {u"[Name]", FieldKind::Text, offsetof(tagSyncedAlbumItem, bstrName), 0},
    {u"[PathOnPc]", FieldKind::Text, offsetof(tagSyncedAlbumItem, bstrPathOnPC), 0},
    {u"[PathOnDevice]", FieldKind::Text, offsetof(tagSyncedAlbumItem, bstrPathOnDevice), 0},
    {u"[LocationOnPC]", FieldKind::Text, offsetof(tagSyncedAlbumItem, bstrLocationOnPC), 0},
    {u"[LocationOnDevice]", FieldKind::Text, offsetof(tagSyncedAlbumItem, bstrLocationOnDevice), 0},
    {u"[Filter]", FieldKind::Text, offsetof(tagSyncedAlbumItem, bstrFilter), 0},
    {u"[Recursive]", FieldKind::Flag, offsetof(tagSyncedAlbumItem, bRecursive), 0},
    {u"[Type]", FieldKind::Long, offsetof(tagSyncedAlbumItem, lType), 0},
    {u"[SyncAnchor]", FieldKind::Date, offsetof(tagSyncedAlbumItem, dtSyncAnchor), 0},
};

// A synced podcast file fills only the two paths; the row reader leaves
// every other field null or 0.
constexpr FieldMap kSyncedPodcastFields[] = {
    {u"[ObjectIDOnPC]", FieldKind::Text, offsetof(tagSyncedAlbumItem, bstrPathOnPC), 0},
    {u"[ObjectIDOnDevice]", FieldKind::Text, offsetof(tagSyncedAlbumItem, bstrPathOnDevice), 0},
};

}  // namespace

SqlText CSyncOption::ProfileAndType(LONG lType) const {
    SqlText sql(u"WHERE [ProfileID] = '");
    sql.AppendQuoted(m_bstrProfileID).Append(u"' AND [SyncDataType] = '").AppendLong(lType).Append(u"'");
    return sql;
}

STDMETHODIMP CSyncOption::GetSyncOption(LONG* plErrorID, LONG lType, tagSyncOptions* pSyncOptions) {
    if (!pSyncOptions) return InvalidArgument(plErrorID);
    CriticalSectionLock lock(m_csAccess);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_POINTER);
    SqlText sql(kSyncOptionSelect);
    sql.Append(ProfileAndType(lType)).Append(u";");
    Bstr text = sql.ToBstr();
    ResultSet rs(m_pPimDbAccess, plErrorID, text);
    if (!rs.ok()) return E_UNEXPECTED;
    // A kind never stored answers all zeros, lType included; nothing is
    // inserted for it.
    *pSyncOptions = tagSyncOptions{};
    if (rs.rows() > 0) {
        ReadRow(pSyncOptions, rs.slot(), kSyncOptionFields);
        pSyncOptions->lType = lType;
    }
    return S_OK;
}

STDMETHODIMP CSyncOption::UpdateSyncOption(LONG* plErrorID, LONG lType, tagSyncOptions* pSyncOptions) {
    if (!pSyncOptions) return InvalidArgument(plErrorID);
    CriticalSectionLock lock(m_csAccess);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_POINTER);

    // Only the row count matters; the result set goes at once. The lock
    // makes the look-up and the write one step for this object only: two
    // objects (or programs) can both find no row and both insert.
    LONG existing = 0;
    {
        SqlText sql(
            u"SELECT [ProfileID], [SyncDataType], [GroupOption], [OptionEx0], [OptionEx1], [OptionEx2], "
            u"[OptionEx3], [OptionEx4], [OptionEx5], [OptionEx6], [OptionEx7] FROM [tSyncOption] ");
        sql.Append(ProfileAndType(lType)).Append(u";");
        Bstr text = sql.ToBstr();
        ResultSet rs(m_pPimDbAccess, plErrorID, text);
        if (!rs.ok()) return E_UNEXPECTED;
        existing = rs.rows();
    }

    // The record's own lType is ignored: the argument names the row.
    SqlText sql;
    if (existing > 0) {
        sql = SqlText(u"UPDATE [tSyncOption] SET ");
        AppendAssignments(sql, pSyncOptions, {kSyncOptionFields});
        sql.Append(u"' ").Append(ProfileAndType(lType)).Append(u";");
    } else {
        sql = SqlText(kSyncOptionInsertHead);
        sql.AppendQuoted(m_bstrProfileID).Append(u"', '").AppendLong(lType).Append(u"', '");
        AppendValues(sql, pSyncOptions, kSyncOptionFields);
        sql.Append(u"');");
    }
    Bstr text = sql.ToBstr();
    // The connection may be a proxy, which refuses NULL pointers.
    LONG ignored = 0;
    Bstr id;
    return m_pPimDbAccess->Execute(plErrorID ? plErrorID : &ignored, text, &id);
}

STDMETHODIMP CSyncOption::GetSyncAlbums(LONG* plErrorID, LONG lType, LONG* plNum, SAFEARRAY** ppSyncAlbums) {
    HRESULT hr = GetAllRecords<tagSyncAlbumItem>(plErrorID, plNum, ppSyncAlbums, kSyncAlbumFields, [&] {
        SqlText sql(u"SELECT [SyncDataType], [SyncAlbumName], [Option] FROM [tSyncAlbum] ");
        sql.Append(ProfileAndType(lType)).Append(u";");
        return sql;
    });
    if (FAILED(hr)) return hr;
    // The array is still only ours: no lock is needed to finish it.
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(*ppSyncAlbums, &data))) {
        auto* albums = static_cast<tagSyncAlbumItem*>(data);
        for (LONG i = 0; i < *plNum; ++i) albums[i].lType = lType;
        SafeArrayUnaccessData(*ppSyncAlbums);
    }
    return S_OK;
}

STDMETHODIMP CSyncOption::AddSyncAlbum(LONG* plErrorID, LONG lType, tagSyncAlbumItem* pSyncAlbum) {
    if (!pSyncAlbum || IsEmpty(pSyncAlbum->bstrAlbumName)) return InvalidArgument(plErrorID);
    // No look-up first: adding a name twice stores it twice.
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"INSERT INTO [tSyncAlbum] ([ProfileID], [SyncDataType], [SyncAlbumName], [Option]) VALUES('");
        sql.AppendQuoted(m_bstrProfileID).Append(u"', '").AppendLong(lType).Append(u"', '");
        AppendValues(sql, pSyncAlbum, std::span(kSyncAlbumFields).subspan(1));
        sql.Append(u"');");
        return sql;
    });
}

STDMETHODIMP CSyncOption::RemoveSyncAlbum(LONG* plErrorID, LONG lType, BSTR bstrAlbum) {
    if (IsEmpty(bstrAlbum)) return InvalidArgument(plErrorID);
    HRESULT hr = ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"DELETE FROM [tSyncAlbum] ");
        sql.Append(ProfileAndType(lType)).Append(u" AND [SyncAlbumName] = '").AppendQuoted(bstrAlbum).Append(u"';");
        return sql;
    });
    // Removing a name that is not stored is no failure either.
    return SUCCEEDED(hr) ? S_OK : hr;
}

STDMETHODIMP CSyncOption::ClearSyncAlbums(LONG* plErrorID, LONG lType) {
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"DELETE FROM [tSyncAlbum] ");
        sql.Append(ProfileAndType(lType)).Append(u";");
        return sql;
    });
}

STDMETHODIMP CSyncOption::GetSyncedAlbums(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppSyncedAlbums) {
    // Albums of every type, podcast albums included.
    return GetAllRecords<tagSyncedAlbumItem>(plErrorID, plNum, ppSyncedAlbums, kSyncedAlbumFields, [&] {
        SqlText sql(
            u"SELECT [Name], [PathOnPc], [PathOnDevice], [LocationOnPC], [LocationOnDevice], [Filter], [Recursive], "
            u"[Type], [SyncAnchor] FROM [tAlbum] WHERE [ProfileID] = '");
        sql.AppendQuoted(m_bstrProfileID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CSyncOption::GetSyncedPodcasts(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppSyncedPodcasts) {
    // Files being synchronised that belong to this profile's podcast
    // albums (album type 3).
    return GetAllRecords<tagSyncedAlbumItem>(plErrorID, plNum, ppSyncedPodcasts, kSyncedPodcastFields, [&] {
        SqlText sql(
            u"SELECT [ObjectIDOnPC], [ObjectIDOnDevice] FROM [tFile] WHERE [SyncingFlag] = '1' AND [AlbumID] IN "
            u"(SELECT [AlbumID] FROM [tAlbum] WHERE TYPE = '3' AND [ProfileID] = '");
        sql.AppendQuoted(m_bstrProfileID).Append(u"');");
        return sql;
    });
}

}  // namespace calyra
