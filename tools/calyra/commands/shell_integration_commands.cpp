// completion and manpage: the shell completion scripts and the manual page,
// both drawn from the command line itself, so they never list a command or
// option the client does not have. The build runs them to produce the files
// `cmake --install` puts where bash, zsh, fish and man look.
#include <fmt/format.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "calendar/time_zone.h"
#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/command_tree.h"
#include "session/client_error.h"

namespace calyra::cli {
namespace shell_integration_commands {

// One command of the tree: its words after "calyra", and the node.
struct Node {
    std::string path;  // "contacts list"; empty for calyra itself
    const CLI::App* app;
};

void Collect(const CLI::App* app, const std::string& path, std::vector<Node>* out) {
    out->push_back({path, app});
    for (const CLI::App* sub : app->get_subcommands([](const CLI::App*) { return true; }))
        Collect(sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), out);
}

std::vector<Node> Nodes(const CLI::App& root) {
    std::vector<Node> nodes;
    Collect(&root, "", &nodes);
    return nodes;
}

// The long options of a node ("--db"), and whether each takes a value.
std::vector<std::pair<std::string, bool>> Options(const CLI::App* app) {
    std::vector<std::pair<std::string, bool>> out;
    for (const CLI::Option* opt : app->get_options()) {
        if (!opt->nonpositional()) continue;
        for (const auto& name : opt->get_lnames()) out.emplace_back("--" + name, opt->get_expected_min() > 0);
    }
    return out;
}

// What completes after a node: its subcommands, then its options.
std::string Words(const CLI::App* app) {
    std::string out;
    for (const CLI::App* sub : app->get_subcommands([](const CLI::App*) { return true; }))
        out += (out.empty() ? "" : " ") + sub->get_name();
    for (const auto& [name, takesValue] : Options(app)) out += (out.empty() ? "" : " ") + name;
    return out;
}

// What a value of `opt` can be, as completion offers it: a list of words,
// kZones for a time zone's name, or nothing (any text, a file name).
constexpr const char* kZones = "@zones";
std::vector<std::string> ValueWords(const CLI::Option* opt) {
    if (opt->get_expected_min() == 0) return {};
    const std::string name = opt->get_name(false, true);
    if (name == "--tz" || name == "--zone") return {kZones};
    std::vector<std::string> words;
    const auto split = [&words](const std::string& text, char by) {
        for (size_t at = 0; at <= text.size();) {
            const size_t end = std::min(text.find(by, at), text.size());
            if (end > at) words.push_back(text.substr(at, end - at));
            at = end + 1;
        }
    };
    // A value list as CLI11 names one ("TEXT:{table,json,csv,tsv}").
    const std::string type = opt->get_type_name();
    if (const size_t list = type.find(":{"); list != std::string::npos && type.back() == '}')
        split(type.substr(list + 2, type.size() - list - 3), ',');
    // An enumeration or flag field's help is its values ("mobile|work",
    // "yes or no"; cli/record_options.h).
    const std::string help = opt->get_description();
    if (help == "yes or no") return {"yes", "no"};
    if (words.empty() && help.find('|') != std::string::npos && help.find(' ') == std::string::npos) split(help, '|');
    return words;
}

// The command whose first column lists the IDs a node's argument takes
// ("contacts list" for "contacts show ID"), or "": the sibling `list`
// of a command whose first argument names a record.
std::string IdSource(const Node& node) {
    const auto positionals = node.app->get_options([](const CLI::Option* o) { return !o->nonpositional(); });
    if (positionals.empty() || !node.app->get_parent()) return "";
    static const std::string kNaming[] = {"id", "ids", "group", "groups", "category", "categories", "profile"};
    const std::string first = positionals.front()->get_name();
    if (std::find(std::begin(kNaming), std::end(kNaming), first) == std::end(kNaming)) return "";
    const CLI::App* parent = node.app->get_parent();
    const auto lists = parent->get_subcommands([](const CLI::App* sub) { return sub->get_name() == "list"; });
    if (lists.empty() || node.app->get_name() == "list") return "";
    return node.path.substr(0, node.path.rfind(' ')) + " list";
}

std::string BashScript(const CLI::App& root) {
    std::string words, values, arguments;
    // Keys start with "calyra": bash takes no empty key.
    for (const auto& node : Nodes(root)) {
        const std::string key = "calyra" + std::string(node.path.empty() ? "" : " ") + node.path;
        words += fmt::format("  [\"{}\"]=\"{}\"\n", key, Words(node.app));
        for (const CLI::Option* opt : node.app->get_options()) {
            std::string list;
            for (const auto& word : ValueWords(opt)) list += (list.empty() ? "" : " ") + word;
            if (list.empty()) continue;
            if (opt->nonpositional())
                for (const auto& name : opt->get_lnames())
                    values += fmt::format("  [\"{} --{}\"]=\"{}\"\n", key, name, list);
            else if (arguments.find("[\"" + key + "\"]") == std::string::npos)
                arguments += fmt::format("  [\"{}\"]=\"{}\"\n", key, list);
        }
        if (const std::string source = IdSource(node); !source.empty())
            arguments += fmt::format("  [\"{}\"]=\"@list {}\"\n", key, source);
    }
    std::string zones = "UTC";
    for (const auto& name : calendar::NumberedZoneNames()) zones += " " + name;
    // A word moves down the tree when it names a command under the node
    // reached so far; anything else (option values, IDs) leaves it there.
    // After an option with a list of values come its values (the program's
    // options hold below every command); an argument that names a record
    // offers the IDs the family's list prints (through the program typed,
    // with the --db and --profile typed), one with a list its values;
    // anything else a command or option, else a file name.
    return "# bash completion for calyra (generated by 'calyra completion bash')\n"
           "declare -gA _calyra_words=(\n" +
           words +
           ")\n"
           "declare -gA _calyra_values=(\n" +
           values +
           ")\n"
           "declare -gA _calyra_arguments=(\n" +
           arguments +
           ")\n"
           "_calyra_zones=\"" +
           zones +
           "\"\n"
           "_calyra_offer() {\n"
           "  local list=$1 cur=$2\n"
           "  if [[ $list == @zones ]]; then list=$_calyra_zones\n"
           "  elif [[ $list == \"@list \"* ]]; then\n"
           "    list=$(\"${COMP_WORDS[0]}\" \"${_calyra_where[@]}\" --format tsv --no-header ${list#@list } "
           "2>/dev/null | "
           "cut -f1)\n"
           "  fi\n"
           "  COMPREPLY=($(compgen -W \"$list\" -- \"$cur\"))\n"
           "}\n"
           "_calyra() {\n"
           "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} node=calyra next i\n"
           "  local -a _calyra_where=()  # seen by _calyra_offer\n"
           "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "    case ${COMP_WORDS[i]} in --db|--profile) _calyra_where+=(\"${COMP_WORDS[i]}\" "
           "\"${COMP_WORDS[i+1]}\");; esac\n"
           "    [[ $node == calyra && ${COMP_WORDS[i]} == help ]] && continue\n"
           "    next=\"$node ${COMP_WORDS[i]}\"\n"
           "    [[ -n ${_calyra_words[$next]+set} ]] && node=$next\n"
           "  done\n"
           "  if [[ $prev == --* && $cur != -* ]]; then\n"
           "    for key in \"$node $prev\" \"calyra $prev\"; do\n"
           "      [[ -n ${_calyra_values[$key]+set} ]] && { _calyra_offer \"${_calyra_values[$key]}\" \"$cur\"; "
           "return; }\n"
           "    done\n"
           "  fi\n"
           "  if [[ $cur != -* && -n ${_calyra_arguments[$node]+set} ]]; then\n"
           "    _calyra_offer \"${_calyra_arguments[$node]}\" \"$cur\"; return\n"
           "  fi\n"
           "  COMPREPLY=($(compgen -W \"${_calyra_words[$node]}\" -- \"$cur\"))\n"
           "  [[ ${#COMPREPLY[@]} -eq 0 && $cur != -* ]] && COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "}\n"
           "complete -o filenames -F _calyra calyra\n";
}

std::string ZshScript(const CLI::App& root) {
    return "#compdef calyra\n"
           "# zsh completion for calyra (generated by 'calyra completion zsh'): the bash\n"
           "# completion, through zsh's bash compatibility.\n"
           "autoload -U +X bashcompinit && bashcompinit\n" +
           BashScript(root);
}

std::string FishScript(const CLI::App& root) {
    std::string out =
        "# fish completion for calyra (generated by 'calyra completion fish')\n"
        "function __calyra_node\n"
        "    set -l node ''\n"
        "    for w in (commandline -opc)[2..-1]\n"
        "        set -l next (string trim -- \"$node $w\")\n"
        "        if contains -- $next $__calyra_nodes\n"
        "            set node $next\n"
        "        end\n"
        "    end\n"
        "    echo $node\n"
        "end\n"
        "set -g __calyra_nodes";
    const auto nodes = Nodes(root);
    for (const auto& node : nodes)
        if (!node.path.empty()) out += " '" + node.path + "'";
    out += "\nset -g __calyra_zones";
    for (const auto& name : calendar::NumberedZoneNames()) out += " " + name;
    out += "\ncomplete -c calyra -f\n";
    for (const auto& node : nodes) {
        const std::string when = "-n '[ (__calyra_node) = \"" + node.path + "\" ]'";
        for (const CLI::App* sub : node.app->get_subcommands([](const CLI::App*) { return true; }))
            out += fmt::format("complete -c calyra {} -a '{}' -d '{}'\n", when, sub->get_name(),
                               fmt::format("{}", sub->get_description()).substr(0, 60));
        for (const CLI::Option* opt : node.app->get_options()) {
            const auto values = ValueWords(opt);
            std::string list;
            for (const auto& word : values) list += (list.empty() ? "" : " ") + word;
            if (list == kZones) list = "UTC $__calyra_zones";
            if (!opt->nonpositional()) {
                if (!list.empty()) out += fmt::format("complete -c calyra {} -a \"{}\"\n", when, list);
                continue;
            }
            for (const auto& name : opt->get_lnames())
                out += fmt::format("complete -c calyra {} -l '{}'{}\n", when, name,
                                   opt->get_expected_min() == 0 ? ""
                                   : list.empty()               ? " -r -F"
                                                                : " -x -a \"" + list + "\"");
        }
        if (const std::string source = IdSource(node); !source.empty())
            out +=
                fmt::format("complete -c calyra {} -a \"(calyra --format tsv --no-header {} 2>/dev/null | cut -f1)\"\n",
                            when, source);
    }
    return out;
}

// Roff text with its special characters escaped.
std::string Roff(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else if (c == '|' || c == ',' || c == '/')
            out += std::string(1, c) + "\\:";  // where a long list may break
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

// What an option takes: its list of values ("{table,json,csv,tsv}", as
// CLI11 names a value list) or the kind of value ("TEXT", "INT"); "" for a
// flag.
std::string ValuesOf(const CLI::Option* opt) {
    if (opt->get_expected_min() == 0) return "";
    const std::string type = opt->get_type_name();
    const size_t list = type.find(":{");
    return list == std::string::npos ? type : type.substr(list + 1);
}

// Command lines a newcomer starts from, each with what it does.
std::string Examples() {
    static constexpr std::pair<const char*, const char*> kExamples[] = {
        {"calyra demo", "Fill a sample profile and show it."},
        {"calyra profiles add Phone", "Start a file with one profile."},
        {"calyra contacts add \\-\\-first\\-name Ada \\-\\-last\\-name Lovelace \\-\\-phone "
         "mobile:+442079460000",
         "Add a contact with a phone number."},
        {"calyra contacts find muller", "Find M\\(:uller: case and accents are ignored."},
        {"calyra \\-\\-format csv contacts list \\-\\-sort last_name", "The contacts as CSV, by last name."},
        {"calyra events add \\-\\-subject Standup \\-\\-start 'mon 9:30' \\-\\-for 15m \\-\\-repeat weekly",
         "A weekly event in your time zone."},
        {"calyra agenda week", "What this week holds, day by day."},
        {"calyra tasks list \\-\\-overdue", "The open tasks past their due date."},
        {"calyra contacts export \\-\\-out contacts.vcf", "Every contact of the profile as vCard."},
        {"calyra events import \\-\\-dry\\-run calendar.ics", "What an import would store, storing nothing."},
    };
    std::string out;
    for (const auto& [line, what] : kExamples) out += ".TP\n.B " + std::string(line) + "\n" + what + "\n";
    return out;
}

std::string ManPage(const CLI::App& root) {
    std::string page = ".TH CALYRA 1 \"\" \"calyra " CALYRA_VERSION
                       "\" \"User Commands\"\n"
                       ".ad l\n.nh\n.SH NAME\ncalyra \\- " +
                       Roff(root.get_description().substr(root.get_description().find(':') + 2)) +
                       "\n"
                       ".SH SYNOPSIS\n.B calyra\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]\n"
                       ".SH DESCRIPTION\n"
                       "calyra keeps a phone companion's personal information in one SQLite file: device "
                       "profiles, contacts with their details and groups, calendar events and categories, tasks, "
                       "sync settings and play statistics. Every command below is also described by "
                       "\\fBcalyra COMMAND \\-\\-help\\fR.\n"
                       ".SH OPTIONS\n";
    // Options as the page lists them: "--db FILE"-like names in bold,
    // positional arguments in italics; the help flags are said once above.
    const auto describeOptions = [](const CLI::App* app, bool withHelp) {
        std::string out;
        for (const CLI::Option* opt : app->get_options()) {
            if (opt->get_group().empty()) continue;  // hidden
            const std::string name = opt->get_name(false, true);
            if (!withHelp && (name == "-h,--help" || name == "--help-all")) continue;
            // "--format \fI{table,json,csv,tsv}\fR", "--db \fITEXT\fR": the values an option takes.
            const std::string values = ValuesOf(opt);
            out += ".TP\n" + std::string(opt->nonpositional() ? ".B " : ".I ") + Roff(name) +
                   (opt->nonpositional() && !values.empty() ? " \"\\fI" + Roff(values) + "\\fR\"" : "") + "\n" +
                   Roff(opt->get_description()) +
                   (!opt->nonpositional() && values.size() > 1 && values[0] == '{' ? " (" + Roff(values) + ")" : "") +
                   "\n";
        }
        return out;
    };
    page += describeOptions(&root, true);
    page += ".SH COMMANDS\n";
    for (const auto& node : Nodes(root)) {
        if (node.path.empty()) continue;
        page += ".SS \"calyra " + Roff(node.path) + "\"\n" + Roff(node.app->get_description()) + "\n";
        if (const std::string options = describeOptions(node.app, false); !options.empty())
            page += ".RS\n" + options + ".RE\n";
    }
    page +=
        ".SH ENVIRONMENT\n"
        ".TP\n.B CALYRA_DB\nThe database file when \\-\\-db is not given.\n"
        ".TP\n.B TZ\nThe time zone when neither \\-\\-tz nor the config file names one: a zone name "
        "(Europe/Berlin, optionally after a colon).\n"
        ".TP\n.B NO_COLOR\nWhen set and not empty, no colour unless \\-\\-color always asks.\n"
        ".TP\n.B COLUMNS\nThe width the calendar grids fill (else the terminal's, else 80).\n"
        ".TP\n.BR VISUAL \", \" EDITOR\nThe editor of \\fBedit \\-\\-editor\\fR (VISUAL first).\n"
        ".TP\n.B HOME\nBelow it the config file and the default database, unless the XDG variables say "
        "otherwise.\n"
        ".TP\n.B XDG_CONFIG_HOME\nWhere the config file is looked for (calyra/config.toml).\n"
        ".TP\n.B XDG_DATA_HOME\nWhere the default database lives (calyra/calyra.db).\n"
        ".SH FILES\n"
        ".TP\n.I ~/.config/calyra/config.toml\nSettings; \\fBcalyra config\\fR shows them and where each comes "
        "from.\n"
        ".TP\n.I ~/.local/share/calyra/calyra.db\nThe default database.\n"
        ".SH EXAMPLES\n" +
        Examples() +
        ".SH EXIT STATUS\n"
        "0 on success, 1 when the work failed (the reason is one line on standard error), 2 for a command "
        "line that cannot be read.\n";
    return page;
}

struct CompletionOptions {
    std::string shell;
};

void DeclareCompletion(CLI::App& completion, CompletionOptions& o) {
    completion.add_option("shell", o.shell, "bash, zsh or fish")
        ->required()
        ->check(CLI::IsMember({"bash", "zsh", "fish"}));
}

void RunCompletion(CommandContext& ctx, const CompletionOptions& o) {
    const CLI::App& app = ctx.app();
    ctx.out().stream() << (o.shell == "bash" ? BashScript(app) : o.shell == "zsh" ? ZshScript(app) : FishScript(app));
}

void RunManPage(CommandContext& ctx, const NoOptions&) { ctx.out().stream() << ManPage(ctx.app()); }

constexpr CommandRow kShellCommands[] = {
    Row<CompletionOptions, DeclareCompletion, RunCompletion>("completion", "Print the completion script for a shell",
                                                             Access::Writes),
    Row<RunManPage>("manpage", "Print the manual page (roff; man -l - shows it)", Access::Writes),
};

}  // namespace shell_integration_commands

void AddShellIntegrationCommands(CLI::App& app, CommandContext& ctx) {
    AddRows(app, ctx, shell_integration_commands::kShellCommands);
}

}  // namespace calyra::cli
