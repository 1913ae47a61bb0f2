#include "cli/unknown_words.h"

#include <algorithm>

namespace calyra::cli {
namespace {

// Edits between the words, two neighbours swapped counting as one edit
// ("--form" is one slip from "--from"), as the slips people make.
size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

std::vector<const CLI::App*> Subcommands(const CLI::App* node) {
    return node->get_subcommands([](const CLI::App*) { return true; });
}

const CLI::App* SubcommandNamed(const CLI::App* node, std::string_view name) {
    for (const CLI::App* sub : Subcommands(node))
        if (sub->get_name() == name) return sub;
    return nullptr;
}

// The option `name` ("--db") of the node or, as options fall through to
// subcommands, of a node above it.
const CLI::Option* OptionNamed(const std::vector<const CLI::App*>& path, std::string_view name) {
    for (auto it = path.rbegin(); it != path.rend(); ++it)
        for (const CLI::Option* opt : (*it)->get_options())
            if (opt->check_name(std::string(name))) return opt;
    return nullptr;
}

// The command's own options first: of two options as near to a slip, the
// one of the command typed is meant more likely than a global one.
std::vector<std::string> OptionNames(const std::vector<const CLI::App*>& path) {
    std::vector<std::string> names;
    for (auto node = path.rbegin(); node != path.rend(); ++node)
        for (const CLI::Option* opt : (*node)->get_options())
            for (const auto& name : opt->get_lnames())
                if (std::find(names.begin(), names.end(), "--" + name) == names.end()) names.push_back("--" + name);
    return names;
}

std::string Suggest(const std::string& what, std::string_view word, const std::vector<std::string>& candidates) {
    std::string message = "unknown " + what + " '" + std::string(word) + "'";
    if (const std::string near = Nearest(word, candidates); !near.empty())
        return message + "; did you mean '" + near + "'?";
    std::string list;
    for (const auto& c : candidates) list += (list.empty() ? "" : ", ") + c;
    return message +
           (list.empty() ? "" : " (" + std::string(what == "option" ? "options" : "commands") + ": " + list + ")");
}

}  // namespace

std::string Nearest(std::string_view word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = std::max<size_t>(2, word.size() / 3) + 1;
    for (const auto& c : candidates) {
        // "--priority" is the last word of "--task-priority": the family's
        // prefix was left out.
        const bool lastWord =
            word.starts_with("--") && word.size() > 4 && c.ends_with("-" + std::string(word.substr(2)));
        const size_t distance = (c.starts_with(word) && word.size() >= 2) || lastWord ? 1 : EditDistance(word, c);
        if (distance < bestDistance) {
            best = c;
            bestDistance = distance;
        }
    }
    return best;
}

std::optional<std::string> UnknownWord(const CLI::App& app, int argc, const char* const* argv) {
    std::vector<const CLI::App*> path{&app};
    bool arguments = false;  // past the last command: positional words follow
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") break;
        if (word.starts_with("-")) {
            if (!word.starts_with("--")) continue;  // short flags: the parser judges them
            const std::string_view name = word.substr(0, word.find('='));
            const CLI::Option* opt = OptionNamed(path, name);
            if (!opt) return Suggest("option", name, OptionNames(path));
            if (opt->get_expected_min() > 0 && name.size() == word.size()) ++i;  // its value follows
            continue;
        }
        if (arguments) continue;
        const CLI::App* node = path.back();
        if (Subcommands(node).empty()) {
            arguments = true;
            continue;
        }
        if (const CLI::App* sub = SubcommandNamed(node, word)) {
            path.push_back(sub);
            continue;
        }
        // A command that has an action of its own (such as `config`) may
        // take arguments; one that is only a group may not.
        bool takesArguments = false;
        for (const CLI::Option* opt : node->get_options())
            if (opt->get_positional()) takesArguments = true;
        if (takesArguments) {
            arguments = true;
            continue;
        }
        std::vector<std::string> names;
        for (const CLI::App* sub : Subcommands(node)) names.push_back(sub->get_name());
        return Suggest("command", word, names);
    }
    return std::nullopt;
}

}  // namespace calyra::cli
