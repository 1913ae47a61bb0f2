// The database schema as four fixed, ordered statement lists: creation (21
// tables, then the 2 indexes of [tFile]), drop (the same 23 objects),
// pragma (3 connection settings) and version (the one [tVer] row), plus
// single creation statements by table for the upgrade steps.
//
// FROZEN: these texts are what every database file holds in sqlite_master
// and what older files are recognised by; they are exact to the byte,
// quirks included ("iNTEGER", [LastModifiredOnPc], [ObjectIdOn3rd], one
// blank before the constraint of four [tProfile] columns). Never tidy them.
//
// The lists are built once, on first use, and then never change: the views
// stay valid for the life of the program and may be read from any thread.
// Building can throw std::bad_alloc.
#pragma once

#include <span>
#include <string_view>

namespace calyra {

// Ordered statement texts; run them front to back.
using SchemaStatementList = std::span<const std::u16string_view>;

// The schema version these lists describe, as stored in [tVer].[VerString].
inline constexpr std::u16string_view kSchemaVersion = u"101111";

// "CREATE TABLE [tAddress] (\n..." ... "CREATE INDEX [IDX_TFILE_2] ON [tFile](\n...".
SchemaStatementList CreationStatements();
// "DROP TABLE [tAddress];" ... "DROP INDEX [IDX_TFILE_2];".
SchemaStatementList DropStatements();
// "PRAGMA case_sensitive_like = 1;", "PRAGMA synchronous = OFF;", "PRAGMA temp_store = MEMORY;".
SchemaStatementList PragmaStatements();
// "INSERT INTO [tVer] ([VerString]) VALUES('101111');".
SchemaStatementList VersionStatements();

// The CREATE TABLE statement of one table, named without brackets
// ("tAlbum"); an empty view for a name that is not a table of the schema.
std::u16string_view CreationStatementOf(std::u16string_view table);

}  // namespace calyra
