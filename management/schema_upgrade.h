// Bringing an open database to the current schema version "101111": the
// connection settings applied after every open, reading the stored
// version, and the upgrade step for each kind of file.
//
//   stored version       step
//   "090925"             UpdateFrom090925Version (events lost, podcasts added, albums rebuilt)
//   "100406", "100528"   UpdateFrom100406Version (version row renewed, albums rebuilt)
//   "101111"             none
//   anything else/none   UpdateFromInvalidVersion (everything dropped and created anew)
//
// The steps work on a bare connection the caller keeps a reference to; they
// take no reference and hold no state. Every statement runs through
// Execute with NULL error-ID and row-ID pointers and its result is ignored,
// so nothing is reported and a failing statement does not stop a step; a
// NULL connection makes every step do nothing. Allocation failures throw
// (calyra::OutOfMemory or std::bad_alloc); the management object catches
// them. Thread-safety: the management object calls these while holding its
// own lock; each statement takes the connection's lock for itself.
#pragma once

#include "idl/calyra_idl.h"
#include "platform/bstr.h"

namespace calyra {

// Runs the pragma list.
void OptimizePimDatabasePerformance(IPimDbAccess* db);

// Reads [tVer].[VerString] into `version` (at most 15 units per row). With
// several rows the last one wins; with none, or without [tVer], `version`
// keeps what the caller put there (the empty text).
void GetPimDatabaseVersion(IPimDbAccess* db, Bstr& version);

// Reads the stored version and runs the matching step (table above). The
// comparison is exact: case-sensitive, no trimming.
void UpdatePimDatabase(IPimDbAccess* db);

// Drop list, creation list, version list: all data is lost.
void UpdateFromInvalidVersion(IPimDbAccess* db);

// Recreates [tEvent] empty and [tVer], creates [tMostFrequentlyPlayedPodcast],
// writes the version row and rebuilds the album tables.
void UpdateFrom090925Version(IPimDbAccess* db);

// Recreates [tVer] with the version row and rebuilds the album tables.
void UpdateFrom100406Version(IPimDbAccess* db);

// Rebuilds [tAlbum] and [tFile] with their third-location columns, carrying
// the rows over (albums of type 6 and 7 are dropped). Returns the status of
// the last statement; no caller needs it.
HRESULT UpdateAlbumTable(IPimDbAccess* db);

}  // namespace calyra
