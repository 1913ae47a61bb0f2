#include "session/session.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <vector>

#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "platform/com_runtime.h"
#include "session/client_error.h"
#include "session/database_file.h"
#include "session/interruption.h"
#include "session/record_id.h"

namespace calyra::cli {
namespace {

std::filesystem::path ProgramDirectory() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path(".") : self.parent_path();
}

// The module beside the program: the installed layout first, then the
// build tree's (bin/ and lib/ side by side).
std::filesystem::path ModuleBesideProgram() {
    const auto bin = ProgramDirectory();
    for (const char* rel : {CALYRA_MODULE_FROM_BIN, "../lib/Calyra.so"}) {
        auto candidate = (bin / rel).lexically_normal();
        if (std::filesystem::exists(candidate)) return candidate;
    }
    return {};
}

HRESULT RegisterModule(const std::filesystem::path& module) {
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return CO_E_ERRORINDLL;
    using RegisterFn = HRESULT (*)();
    auto reg = reinterpret_cast<RegisterFn>(::dlsym(handle, "DllRegisterServer"));
    HRESULT hr = reg ? reg() : CO_E_ERRORINDLL;
    ::dlclose(handle);
    return hr;
}

ComPtr<IPimManagement> CreateManagement(HRESULT* hr) {
    ComPtr<IPimManagement> mgmt;
    *hr =
        CoCreateInstance(CLSID_PimManagement, nullptr, CLSCTX_ALL, IID_IPimManagement, reinterpret_cast<void**>(&mgmt));
    return mgmt;
}

bool NeedsRegistration(HRESULT hr) {
    return hr == REGDB_E_CLASSNOTREG || hr == CO_E_DLLNOTFOUND || hr == CO_E_ERRORINDLL || hr == REGDB_E_READREGDB;
}

}  // namespace

bool IsPerUserDefault(const GlobalOptions& options) {
    const char* db = std::getenv("CALYRA_DB");
    return options.db.empty() && !(db && *db);
}

std::filesystem::path DefaultDatabase() {
    if (const char* db = std::getenv("CALYRA_DB"); db && *db) return db;
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "share";
    else
        base = ".";
    return base / "calyra" / "calyra.db";
}

void EnsureComponentRegistered() {
    HRESULT hr = S_OK;
    if (CreateManagement(&hr)) return;
    if (!NeedsRegistration(hr)) Check(hr, 0, "cannot create the management object");
    const auto module = ModuleBesideProgram();
    if (module.empty()) Check(hr, 0, "the component is not registered and no module was found beside calyra");
    Check(RegisterModule(module), 0, "cannot register " + module.string());
    std::cerr << "calyra: registered the component module " << module.string() << "\n";
}

Session::Session(const GlobalOptions& options) : m_options(options) {
    m_database = options.db.empty() ? DefaultDatabase() : std::filesystem::path(options.db);
    EnsureComponentRegistered();
    HRESULT hr = S_OK;
    m_management = CreateManagement(&hr);
    Check(hr, 0, "cannot create the management object");
    Check(CoCreateInstance(CLSID_PimDbAccess, nullptr, CLSCTX_ALL, IID_IPimDbAccess,
                           reinterpret_cast<void**>(&m_connection)),
          0, "cannot create a connection");

    // Looked at before the component opens it: the component would wipe
    // another program's file or one of a later version.
    const FileLook look = LookBeforeOpening(m_connection.get(), m_database);
    if (look.kind == FileLook::Missing || look.kind == FileLook::Empty) {
        if (options.readOnly)
            throw ClientError((look.kind == FileLook::Missing ? "no such file: " + m_database.string()
                                                              : m_database.string() + " is empty, not a database yet") +
                              " (this command only reads; 'calyra --db " + m_database.string() + " init' creates it)");
        const auto folder = m_database.parent_path();
        if (!folder.empty() && !std::filesystem::is_directory(folder)) {
            // Only the per-user default location is made; a folder the user
            // named is theirs to create, so a typo makes no new directories.
            std::error_code ec;
            if (!IsPerUserDefault(options) || !std::filesystem::create_directories(folder, ec))
                throw ClientError("no such directory: " + folder.string() + " (calyra creates no folders for --db)");
        }
    } else if (options.scratchCopy) {
        // A dry run: the work is done on a copy and thrown away with it.
        m_scratch = std::make_unique<ScratchCopy>(m_database);
    }
    // Whether the file can take the command's writes is decided now, not
    // from a statement that fails half-way through the work.
    if (!options.readOnly && !m_scratch && look.kind != FileLook::Missing)
        if (const std::string why = WhyNotWritable(m_database); !why.empty())
            throw ClientError("cannot change " + m_database.string() + ": " + why + "; nothing was changed");
    if (look.kind == FileLook::Older && !m_scratch) {
        const auto backup = BackUpBeside(m_database, look.version);
        std::cerr << "calyra: " << m_database.string() << " holds schema version " << look.version
                  << "; upgrading it to " << kCurrentSchemaVersion << " drops " << look.loss
                  << "; the file as it was is kept in " << backup.string() << "\n";
    }

    // Creating or upgrading the schema is not cut short by a Ctrl-C during
    // an import (session/interruption.h).
    struct Writing {
        Writing() { NoteWritingBegins(); }
        ~Writing() { NoteWritingEnds(); }
    } writing;
    const Bstr opened = Bstr::FromUtf8((m_scratch ? m_scratch->file() : m_database).string());
    LONG err = 0;
    hr = m_management->OpenPimDatabase(&err, Bstr(u"calyra"), Bstr(u"calyra"), opened);
    if (FAILED(hr)) ThrowOpenFailure(hr, err);
    // The schema is in place now; the session's own connection opens the
    // same file for everything the commands do.
    LONG openErr = 0;
    hr = m_connection->OpenPimDatabase(&openErr, Bstr(u"calyra"), Bstr(u"calyra"), opened);
    if (FAILED(hr)) ThrowOpenFailure(hr, openErr);
}

void Session::ThrowOpenFailure(HRESULT hr, LONG err) const {
    const std::string trouble = FileTrouble(m_database);
    throw ClientError("cannot open " + m_database.string() + ": " +
                      (trouble.empty() ? DescribeFailure(hr, err) : trouble + " (" + DescribeFailure(hr, err) + ")"));
}

Session::~Session() {
    if (m_connection) m_connection->ClosePimDatabase(nullptr);
    if (m_management) m_management->ClosePimDatabase(nullptr);
}

void Session::getAccess(const IID& iid, void** object) {
    LONG err = 0;
    GUID id = iid;
    Check(m_management->GetAccessInterface(&err, &id, object), err, "cannot create the access object");
    if (!*object) throw ClientError("the component offers no such access object");
}

const std::u16string& Session::profileId() {
    if (m_profileId) return *m_profileId;
    auto profiles = access<IProfileAccess>();
    LONG err = 0, count = 0;
    OwnedRecordArray<tagProfileInfo> all;
    Check(profiles->GetAllProfiles(&err, &count, &all), err, "cannot list the profiles");

    const tagProfileInfo* chosen = nullptr;
    if (!m_options.profile.empty()) {
        std::vector<NamedRecord> named;
        for (const auto& p : all) named.push_back({BstrUtf8(p.bstrProfileID), BstrUtf8(p.bstrName)});
        const std::string id =
            ResolveRecordId(m_options.profile, named, {"profile", "profiles", "in " + m_database.string()});
        for (const auto& p : all)
            if (BstrUtf8(p.bstrProfileID) == id) chosen = &p;
    } else if (all.size() == 1) {
        chosen = &all[0];
    } else if (all.size() <= 0) {
        throw ClientError("no profile yet in " + m_database.string() +
                          ": add one with 'calyra profiles add NAME' (or run 'calyra demo')");
    } else {
        std::string list;
        for (const auto& p : all)
            list += (list.empty() ? "" : ", ") + BstrUtf8(p.bstrProfileID) + " (" + BstrUtf8(p.bstrName) + ")";
        throw ClientError(std::to_string(all.size()) + " profiles and none chosen: " + list +
                          "; pick one with --profile NAME, or make one the default with 'calyra profiles use NAME'");
    }
    m_profileId = std::u16string(BstrView(chosen->bstrProfileID));
    LONG setErr = 0;
    Check(m_management->SetCurrentProfile(&setErr, Bstr(*m_profileId)), setErr, "cannot choose the profile");
    return *m_profileId;
}

}  // namespace calyra::cli
