// What a database file is before the component opens it, and why a file
// cannot be used when the component only says that it failed.
//
// The component treats every file it opens as its own: a file without its
// version row, or with a version it does not know (another program's file,
// one written by a later version), has every table dropped and the schema
// created anew, and the oldest known version loses its events on upgrade.
// So the client looks first, through a connection object of its own that
// only reads (it leaves the file byte for byte as it was), and refuses what
// the component would destroy.
//
// The component's errors carry no cause; FileTrouble and SqlErrorText find
// it afterwards from the file itself (its type, permissions, header, locks,
// free space) and from the engine's words for a statement.
//
// Throws ClientError; hands out plain values. Thread-safety: functions
// without shared state.
#pragma once

#include <filesystem>
#include <string>

#include "idl/calyra_idl.h"

namespace calyra::cli {

// The schema version the component writes; files at it are opened as they are.
inline constexpr char kCurrentSchemaVersion[] = "101111";

struct FileLook {
    enum Kind {
        Missing,  // no file: the component creates it
        Empty,    // a file of no bytes: the component writes the schema into it
        Current,  // this system's file at the current version
        Older,    // this system's file at an older version it upgrades
    } kind;
    std::string version;  // the stored version (Current, Older)
    std::string loss;     // for Older: what the upgrade drops, in words
};

// Looks at `file` through `reader` (a connection the caller created and
// does not need open). Throws ClientError naming the file, what it is and
// how to proceed for a directory, a file that is not a database, another
// program's database and a version the component would wipe. The
// connection is closed again on return.
FileLook LookBeforeOpening(IPimDbAccess* reader, const std::filesystem::path& file);

// Copies `file` beside itself ("<file>.<version>.bak", numbered when taken)
// and returns the copy's path; throws ClientError when it cannot.
std::filesystem::path BackUpBeside(const std::filesystem::path& file, const std::string& version);

// Why `file` cannot be read or written, in words ("it is not an SQLite
// database", "it is locked by another program", "the file is read-only",
// "no space left on the device"); empty when nothing is found.
std::string FileTrouble(const std::filesystem::path& file);

// Why `file`, an existing file, cannot be changed, decided from its
// permissions before anything is written: "the file is read-only" (this
// user may not write it, or it is marked read-only for everyone, which
// calyra honours also for the superuser), "its folder is read-only, ..."
// (the journal beside it cannot be made). Empty when it can be changed.
std::string WhyNotWritable(const std::filesystem::path& file);

// A private copy of a database file (with its journal or write-ahead log,
// whose committed changes belong to it) in a new temporary folder, removed
// with the folder when the copy goes: work done on it leaves the file
// itself byte for byte and to the second as it was. Throws ClientError
// naming the file when the copy cannot be made.
class ScratchCopy {
public:
    explicit ScratchCopy(const std::filesystem::path& file);
    ~ScratchCopy();
    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;

    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_file;
};

// The engine's words for why `sql` cannot run on `file` ("near "SELEC":
// syntax error", "no such table: tNothing"), found by preparing it on a
// read-only connection; empty when it prepares.
std::string SqlErrorText(const std::filesystem::path& file, const std::string& sql);

}  // namespace calyra::cli
