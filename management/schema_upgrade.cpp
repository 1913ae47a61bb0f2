// Schema version check and upgrade steps.
#include "management/schema_upgrade.h"

#include <algorithm>
#include <string_view>

#include "core/trace.h"
#include "management/schema_statements.h"

namespace calyra {

namespace {

// Runs one statement; its failure is deliberately ignored (a table that
// already exists, or does not, must not stop a step).
HRESULT Run(IPimDbAccess* db, std::u16string_view statement) {
    Bstr sql(statement);
    return db->Execute(nullptr, sql, nullptr);
}

void RunList(IPimDbAccess* db, SchemaStatementList list) {
    for (std::u16string_view statement : list) Run(db, statement);
}

// FROZEN: the rebuild statements, byte for byte. The "" items give the new
// columns empty texts; the On3rd columns of [tFile] start as copies of the
// OnPc ones.
constexpr std::u16string_view kRenameAlbum = u"ALTER TABLE [tAlbum] RENAME TO [tAlbum_Bak];";
constexpr std::u16string_view kCopyAlbums =
    u"INSERT INTO [tAlbum] SELECT [AlbumID], [ProfileID], [Name], [PathOnPc], [PathOnDevice], \"\", "
    u"[LocationOnPc],[LocationOnDevice], \"\", [Filter], [Recursive], [Type], [SyncAnchor] FROM [tAlbum_Bak] "
    u"where([Type]!=6 and [Type]!=7);";
constexpr std::u16string_view kDropAlbumBackup = u"DROP TABLE [tAlbum_Bak];";
constexpr std::u16string_view kRenameFile = u"ALTER TABLE [tFile] RENAME TO [tFile_Bak];";
constexpr std::u16string_view kCopyFiles =
    u"INSERT INTO [tFile] SELECT [FileID], [AlbumID], [NameOnPc], [NameOnDevice], \"\",  [ObjectIDOnPc], "
    u"[ObjectIDOnDevice],\"\", [LastModifiredOnPc], [LastModifiedOnDevice], [LastModifiredOnPc], "
    u"[SyncAnchorOnPc], [SyncAnchorOnDevice], [SyncAnchorOnPc], [ChangeFlagOnPc], [ChangeFlagOnDevice], "
    u"[ChangeFlagOnPc], [TraversedFlagOnPc], [TraversedFlagOnDevice], [TraversedFlagOnPc], [SyncingFlag], "
    u"[ItemID], [RepeatNumOnPc], [RepeatNumOnDevice], [RepeatNumOnPc], [LastNumOnPc], [LastNumOnDevice], "
    u"[LastNumOnPc], [ForbiddenFlag] FROM [tFile_Bak];";
constexpr std::u16string_view kDropFileBackup = u"DROP TABLE [tFile_Bak];";

constexpr std::u16string_view kDropEvent = u"DROP TABLE [tEvent];";
constexpr std::u16string_view kDropVer = u"DROP TABLE [tVer];";
constexpr std::u16string_view kReadVersion = u"SELECT VerString FROM [tVer];";

// The versions with an upgrade path, and the current one.
constexpr std::u16string_view kVersion090925 = u"090925";
constexpr std::u16string_view kVersion100406 = u"100406";
constexpr std::u16string_view kVersion100528 = u"100528";

// The version buffer: 15 units of text and the terminator.
constexpr ULONG kVersionUnits = 16;

}  // namespace

void OptimizePimDatabasePerformance(IPimDbAccess* db) {
    SendTrace("CPimManagement::OptimizePimDatabasePerformance");
    if (!db) return;
    RunList(db, PragmaStatements());
}

void GetPimDatabaseVersion(IPimDbAccess* db, Bstr& version) {
    SendTrace("CPimManagement::GetPimDatabaseVersion");
    if (!db) return;
    Bstr sql(kReadVersion);
    LONG rows = 0;
    LONG columns = 0;
    LONGLONG vm = 0;
    if (SUCCEEDED(db->Query(nullptr, sql, &rows, &columns, &vm))) {
        for (LONG row = 0; row < rows; ++row) {
            OLECHAR buffer[kVersionUnits] = {};
            db->GetFieldValue(nullptr, &vm, 0, reinterpret_cast<USHORT*>(buffer), kVersionUnits);
            buffer[kVersionUnits - 1] = u'\0';  // whatever the connection did, the text ends here
            version = Bstr(buffer);
            db->NextRow(nullptr, &vm);
        }
    }
    // Also after a failed query, as every reader of a result set does.
    db->FreeResultset(nullptr, &vm);
}

void UpdatePimDatabase(IPimDbAccess* db) {
    SendTrace("CPimManagement::UpdatePimDatabase");
    if (!db) return;
    Bstr stored(u"");
    GetPimDatabaseVersion(db, stored);
    const std::u16string_view version = stored.view();
    if (version == kVersion090925) {
        UpdateFrom090925Version(db);
    } else if (version == kVersion100406 || version == kVersion100528) {
        UpdateFrom100406Version(db);
    } else if (version == kSchemaVersion) {
        // Current: nothing to do.
    } else {
        UpdateFromInvalidVersion(db);
    }
}

void UpdateFromInvalidVersion(IPimDbAccess* db) {
    SendTrace("CPimManagement::UpdateFromInvalidVersion");
    if (!db) return;
    RunList(db, DropStatements());
    RunList(db, CreationStatements());
    RunList(db, VersionStatements());
}

void UpdateFrom090925Version(IPimDbAccess* db) {
    SendTrace("CPimManagement::UpdateFrom090925Version");
    if (!db) return;
    Run(db, kDropEvent);
    Run(db, kDropVer);
    Run(db, CreationStatementOf(u"tEvent"));
    Run(db, CreationStatementOf(u"tMostFrequentlyPlayedPodcast"));
    Run(db, CreationStatementOf(u"tVer"));
    RunList(db, VersionStatements());
    UpdateAlbumTable(db);
}

void UpdateFrom100406Version(IPimDbAccess* db) {
    // The one step without a trace text of its own.
    if (!db) return;
    Run(db, kDropVer);
    Run(db, CreationStatementOf(u"tVer"));
    RunList(db, VersionStatements());
    UpdateAlbumTable(db);
}

HRESULT UpdateAlbumTable(IPimDbAccess* db) {
    SendTrace("CPimManagement::UpdateAlbumTable");
    if (!db) return E_POINTER;
    Run(db, kRenameAlbum);
    Run(db, CreationStatementOf(u"tAlbum"));
    Run(db, kCopyAlbums);
    Run(db, kDropAlbumBackup);
    Run(db, kRenameFile);
    Run(db, CreationStatementOf(u"tFile"));
    Run(db, kCopyFiles);
    return Run(db, kDropFileBackup);
}

}  // namespace calyra
