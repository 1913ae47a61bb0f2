// A client session: the component module registered (once, if the user's
// registry does not know it yet), the management object created through
// CoCreateInstance, the database file opened (created with its schema on
// first use), and the current profile chosen.
//
// Ownership: the session owns the management object and closes the
// database when it goes; access objects it hands out carry their own
// reference. Thread-safety: one thread at a time.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "idl/calyra_idl.h"
#include "platform/com_ptr.h"
#include "platform/unknown.h"

namespace calyra::cli {

struct GlobalOptions {
    std::string db;       // --db; empty: $CALYRA_DB, else the per-user default
    std::string profile;  // --profile ID|NAME; empty: the only profile
    bool json = false;    // --json
};

// $CALYRA_DB, else $XDG_DATA_HOME/calyra/calyra.db, else
// ~/.local/share/calyra/calyra.db.
std::filesystem::path DefaultDatabase();

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
        return object;
    }

    // A separate connection to the same file, for raw statements.
    ComPtr<IPimDbAccess> connection() const;

private:
    void getAccess(const IID& iid, void** object);

    GlobalOptions m_options;
    std::filesystem::path m_database;
    ComPtr<IPimManagement> m_management;
    std::optional<std::u16string> m_profileId;
};

}  // namespace calyra::cli
