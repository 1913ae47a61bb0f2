// A client session: the component module registered (once, if the user's
// registry does not know it yet), the management object created through
// CoCreateInstance, the database file looked at (session/database_file.h)
// and opened (created with its schema on first use by a command that
// writes; an older version backed up before its upgrade), and the current
// profile chosen.
//
// Every access object the session hands out runs its statements on the
// session's own connection (wired with SetPimDbAccess), not on the
// management object's: that one connection is what a Transaction
// (session/transaction.h) spans, so a command's writes through several access
// objects commit or roll back together.
//
// A command that writes is refused before the file is opened when the file
// cannot be written (WhyNotWritable), so nothing is half-stored; a dry run
// opens a private copy instead (GlobalOptions::scratchCopy).
//
// Ownership: the session owns the management object and the connection and
// closes both when it goes; access objects it hands out carry their own
// reference to the connection. Thread-safety: one thread at a time.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "idl/calyra_idl.h"
#include "platform/com_ptr.h"
#include "platform/unknown.h"
#include "session/client_error.h"

namespace calyra::cli {

class ScratchCopy;

struct GlobalOptions {
    std::string db;              // --db; empty: $CALYRA_DB, else the per-user default
    std::string profile;         // --profile ID|NAME; empty: the only profile
    bool json = false;           // --json (the same as --format json)
    std::string format;          // --format table|json|csv|tsv; empty: table
    bool noHeader = false;       // --no-header: tables and CSV without their header line
    std::string color = "auto";  // --color never|auto|always (auto: a terminal without $NO_COLOR)
    std::string timeZone;        // --tz ZONE; empty: the settings' time zone
    std::string weekStart;       // --week-start mon|sun; empty: the settings' week start
    // Set from the chosen command: it only reads, so a missing or empty
    // file is an error instead of a new database.
    bool readOnly = false;
    // Set for a dry run: the command works on a private copy of the file
    // (ScratchCopy), so the file itself is never opened for writing.
    bool scratchCopy = false;
};

// $CALYRA_DB, else $XDG_DATA_HOME/calyra/calyra.db, else
// ~/.local/share/calyra/calyra.db.
std::filesystem::path DefaultDatabase();
// Whether neither --db nor $CALYRA_DB names the file (only then does
// calyra create the file's folder).
bool IsPerUserDefault(const GlobalOptions& options);

// Registers the module installed beside this program when the registry does
// not know the component (or names a module that is gone), saying so on
// stderr. Returns the failure of CoCreateInstance otherwise.
void EnsureComponentRegistered();

class Session {
public:
    explicit Session(const GlobalOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::filesystem::path& database() const { return m_database; }
    IPimManagement* management() const { return m_management.get(); }

    // The current profile's ID, chosen on first use: --profile by ID or
    // name, else the only profile. Throws ClientError listing the profiles
    // when there is no single answer.
    const std::u16string& profileId();
    // Forgets the chosen profile (after profiles were added or removed).
    void resetProfile() { m_profileId.reset(); }

    // A new access object from the facade. Profile-bound interfaces get the
    // current profile, so it is chosen first.
    template <class I>
    ComPtr<I> access() {
        if constexpr (!std::is_same_v<I, IProfileAccess>) profileId();
        ComPtr<I> object;
        getAccess(IidOf<I>(), reinterpret_cast<void**>(&object));
        LONG err = 0;
        Check(object->SetPimDbAccess(&err, m_connection.get()), err, "cannot wire the access object");
        return object;
    }

    // The connection every access object of this session uses; raw
    // statements and transactions go through it.
    IPimDbAccess* connection() const { return m_connection.get(); }

private:
    // Throws ClientError naming why the file could not be opened.
    [[noreturn]] void ThrowOpenFailure(HRESULT hr, LONG err) const;
    void getAccess(const IID& iid, void** object);

    GlobalOptions m_options;
    std::filesystem::path m_database;
    // The copy a dry run works on; goes after the connections close.
    std::unique_ptr<ScratchCopy> m_scratch;
    ComPtr<IPimManagement> m_management;
    ComPtr<IPimDbAccess> m_connection;
    std::optional<std::u16string> m_profileId;
};

}  // namespace calyra::cli
