// demo: fills a sample profile "Demo phone" through the component's
// interfaces, then shows it with the client's own month view and contact
// list. Running it again adds only what is missing (items are recognised by
// their names), so the sample never piles up.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include <fmt/format.h>

#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/run_client.h"
#include "demo/fill.h"
#include "demo/sample_data.h"
#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "session/client_error.h"

namespace calyra::cli {
namespace demo_command {

// The demo profile's ID, adding the profile when there is none; `others`
// receives whether the file has other profiles too.
std::string DemoProfile(Session& session, bool* created, bool* others) {
    auto profiles = session.access<IProfileAccess>();
    LONG err = 0, count = 0;
    OwnedRecordArray<tagProfileInfo> all;
    Check(profiles->GetAllProfiles(&err, &count, &all), err, "cannot list the profiles");
    std::string id;
    *others = false;
    for (const auto& p : all) {
        if (id.empty() && BstrUtf8(p.bstrName) == kDemoProfileName)
            id = BstrUtf8(p.bstrProfileID);
        else
            *others = true;
    }
    *created = id.empty();
    if (!id.empty()) return id;
    OwnedRecord<tagProfileInfo> info;
    info.bstrName = Bstr::FromUtf8(kDemoProfileName).Detach();
    info.bstrModel = Bstr::FromUtf8("Calyra demo").Detach();
    Bstr newId;
    Check(profiles->AddProfile(&err, &info, &newId), err, "cannot add the demo profile");
    return newId.utf8();
}

// Whether this build has the command (a client built without a family still
// runs the demo; it just shows less).
bool HasCommand(CLI::App& root, std::initializer_list<const char*> path) {
    CLI::App* node = &root;
    for (const char* name : path) {
        auto found = node->get_subcommands([name](CLI::App* sub) { return sub->get_name() == name; });
        if (found.empty()) return false;
        node = found.front();
    }
    return true;
}

// A path as a shell word.
std::string ShellWord(const std::string& text) {
    bool plain = !text.empty();
    for (char c : text)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) ||
                          std::string_view("/._-+=:,").find(c) != std::string_view::npos);
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct NestedRun {
    bool available = false;
    int status = 0;
    std::string out, err;
};

// Runs one of the client's own commands in-process on the demo profile and
// captures what it printed; a failure of a command that exists fails the demo.
NestedRun RunNested(CLI::App& root, const std::string& db, const std::string& profile, bool json,
                    std::initializer_list<const char*> command) {
    NestedRun run;
    run.available = HasCommand(root, command);
    if (!run.available) return run;
    std::vector<std::string> args{"calyra", "--db", db, "--profile", profile};
    if (json) args.push_back("--json");
    args.insert(args.end(), command.begin(), command.end());
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    run.status = RunClient(static_cast<int>(argv.size()), argv.data(), &out, &err);
    run.out = out.str();
    run.err = err.str();
    if (run.status != 0) {
        std::string reason = run.err;
        while (!reason.empty() && reason.back() == '\n') reason.pop_back();
        throw ClientError(
            fmt::format("the sample data was written, but 'calyra {}' failed: {}", fmt::join(command, " "), reason));
    }
    return run;
}

void RunDemo(CLI::App& root, CommandContext& ctx) {
    bool created = false, others = false;
    const std::string profileId = DemoProfile(ctx.session(), &created, &others);
    // Absolute, so the played files' paths stay valid from any directory.
    const std::filesystem::path database = std::filesystem::absolute(ctx.session().database()).lexically_normal();
    // Every access object from here on is bound to the demo profile.
    ctx.close();
    ctx.options.profile = profileId;
    Session& session = ctx.session();

    const auto media = database.parent_path() / (database.stem().string() + "-demo-media");
    const Json added = FillDemoProfile(session, TheDemoSample(), media);
    ctx.close();  // the nested commands open the file themselves

    const std::string db = database.string();
    const bool json = ctx.out().json();
    NestedRun monthView = RunNested(root, db, profileId, json, {"events", "month"});
    NestedRun contactList = RunNested(root, db, profileId, json, {"contacts", "list"});

    if (json) {
        auto parsed = [](const NestedRun& run) {
            if (!run.available) return Json();
            Json value = Json::parse(run.out, nullptr, false);
            return value.is_discarded() ? Json(run.out) : value;
        };
        return ctx.out().object(Json{{"file", db},
                                     {"profile_id", profileId},
                                     {"profile", kDemoProfileName},
                                     {"profile_created", created},
                                     {"media_folder", media.string()},
                                     {"added", added},
                                     {"month", parsed(monthView)},
                                     {"contacts", parsed(contactList)}});
    }

    auto& os = ctx.out().stream();
    std::vector<std::string> parts;
    for (const auto& [family, count] : added.items())
        if (count.get<int>() > 0) {
            std::string name = family;
            std::replace(name.begin(), name.end(), '_', ' ');
            parts.push_back(fmt::format("{}: {}", name, count.get<int>()));
        }
    os << fmt::format("Profile {} \"{}\" {}in {}: ", profileId, kDemoProfileName, created ? "(new) " : "", db)
       << (parts.empty() ? std::string("the sample data is already there; nothing added.")
                         : fmt::format("added {}.", fmt::join(parts, ", ")))
       << "\n\n";
    for (const auto* run : {&monthView, &contactList}) {
        if (!run->available) continue;
        os << run->out;
        if (!run->out.empty() && run->out.back() != '\n') os << "\n";
        os << "\n";
    }
    std::string calyra = "calyra";
    if (!ctx.options.db.empty()) calyra += " --db " + ShellWord(db);
    if (others) calyra += " --profile " + profileId;
    os << fmt::format("Filled {} (played files are stand-ins under {}). Try:\n", db, media.string());
    for (const char* command : {"tasks list", "plays top", "sync albums list", "info"})
        os << "  " << calyra << " " << command << "\n";
}

void RunDemoCommand(CommandContext& ctx, const NoOptions&) { RunDemo(ctx.app(), ctx); }

}  // namespace demo_command

// The help names the profile, so the row is made when the program starts.
void AddDemoCommand(CLI::App& app, CommandContext& ctx) {
    AddCommand<NoOptions>(
        app, ctx, "demo",
        std::string("Fill a sample profile \"") + kDemoProfileName +
            "\" (contacts, groups, calendar, tasks, sync settings, plays) and show it; running it again adds only "
            "what is missing. Played files are empty stand-ins created beside the database.",
        Access::Writes, nullptr, demo_command::RunDemoCommand);
}

}  // namespace calyra::cli
