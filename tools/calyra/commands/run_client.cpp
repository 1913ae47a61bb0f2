#include "commands/run_client.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

#include "cli/command_context.h"
#include "cli/unknown_words.h"
#include "commands/command_tree.h"
#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/database_file.h"
#include "session/settings.h"

namespace calyra::cli {

namespace {

// The output's last bytes are written at the flush; a full disk or a
// closed pipe shows only there.
void FlushOutput(std::ostream& stream) {
    errno = 0;
    stream.flush();
    if (!stream)
        throw ClientError(std::string("cannot write the output: ") +
                          (errno ? std::strerror(errno) : "the output stream failed"));
}

}  // namespace

int RunClient(int argc, const char* const* argv, std::ostream* out, std::ostream* err) {
    std::ostream& errors = err ? *err : std::cerr;
    std::vector<const char*> words(argv, argv + argc);
    CommandContext ctx;
    ctx.redirect(out);
    CLI::App app{"calyra: personal information (contacts, calendar, tasks, sync settings, plays) in one file",
                 "calyra"};
    ctx.setApp(app);
    app.set_help_all_flag("--help-all", "Show every command's help");
    app.set_version_flag("--version", "calyra " CALYRA_VERSION);
    // The last --db or --profile wins, so scripts can append to a base line.
    auto* db = app.add_option("--db", ctx.options.db,
                              "Database file (default: $CALYRA_DB, else ~/.local/share/calyra/calyra.db)")
                   ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--profile", ctx.options.profile, "Device profile by ID or name (default: the only one)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--json", ctx.options.json, "Machine-readable output (the same as --format json)");
    app.add_option("--format", ctx.options.format, "Output format")
        ->check(CLI::IsMember({"table", "json", "csv", "tsv"}))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--no-header", ctx.options.noHeader, "Tables, CSV and TSV without their header line");
    app.add_option("--color", ctx.options.color, "Colour: never, auto (a terminal, unless $NO_COLOR is set), always")
        ->check(CLI::IsMember({"never", "auto", "always"}))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--tz", ctx.options.timeZone, "Time zone for dates shown and typed (default: config file, $TZ)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--week-start", ctx.options.weekStart, "First day of the week: mon or sun")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.require_subcommand(1);
    app.fallthrough();

    AddCommandTree(app, ctx);
    // "calyra help contacts list" is "calyra contacts list --help".
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (word.starts_with("-")) {
            const CLI::Option* opt = app.get_option_no_throw(std::string(word.substr(0, word.find('='))));
            if (opt && opt->get_expected_min() > 0 && word.find('=') == std::string_view::npos) ++i;
            continue;
        }
        if (word == "help") {
            words.erase(words.begin() + static_cast<long>(i));
            words.push_back("--help");
        }
        break;
    }

    try {
        if (const auto unknown = UnknownWord(app, static_cast<int>(words.size()), words.data())) {
            errors << "calyra: " << *unknown << "\n";
            return 2;
        }
        try {
            app.parse(static_cast<int>(words.size()), words.data());
        } catch (const CLI::CallForVersion& e) {
            return app.exit(e, out ? *out : std::cout, errors);
        } catch (const CLI::CallForHelp& e) {
            return app.exit(e, out ? *out : std::cout, errors);
        } catch (const CLI::CallForAllHelp& e) {
            return app.exit(e, out ? *out : std::cout, errors);
        } catch (const CLI::ParseError& e) {
            errors << "calyra: " << e.what() << " (see --help)\n";
            return 2;
        }
        const auto* action = ctx.chosen(app);
        if (!action) {
            errors << "calyra: choose a command (see --help)\n";
            return 2;
        }
        if (db->count() > 0 && ctx.options.db.empty())
            throw ClientError("--db: the file name is empty (leave --db out for the default file)", 2);
        ctx.options.readOnly = action->access == Access::Reads;
        // The config file and the environment fill what the command line
        // left open.
        ctx.settings =
            EffectiveSettings({ctx.options.db, ctx.options.profile, ctx.options.timeZone, ctx.options.weekStart});
        if (ctx.options.format == "json") ctx.options.json = true;
        if (ctx.options.json) ctx.options.format = "json";
        if (ctx.options.db.empty() && ctx.settings.get("database").source == "config file")
            ctx.options.db = ctx.settings.get("database").value;
        if (ctx.options.profile.empty()) ctx.options.profile = ctx.settings.get("profile").value;
        try {
            action->run();
        } catch (const ClientError& e) {
            // The component names no cause; the file may tell it.
            const auto* file = ctx.openDatabase();
            const std::string trouble = e.fromDatabase() && file ? FileTrouble(*file) : std::string();
            if (trouble.empty()) throw;
            throw ClientError(std::string(e.what()) + "; " + trouble, e.status());
        }
        ctx.close();
        FlushOutput(out ? *out : std::cout);
        return 0;
    } catch (const ClientError& e) {
        errors << "calyra: " << e.what() << "\n";
        return e.status();
    } catch (const OutOfMemory&) {
        errors << "calyra: out of memory\n";
        return 1;
    } catch (const std::exception& e) {
        errors << "calyra: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace calyra::cli
