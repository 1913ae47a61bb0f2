#include "cli/command_context.h"

namespace calyra::cli {

std::string CommandContext::chosenWords(CLI::App& app) {
    std::string words;
    for (CLI::App* node = &app; !node->get_subcommands().empty();) {
        node = node->get_subcommands().front();
        words += (words.empty() ? "" : " ") + node->get_name();
    }
    return words;
}

const std::function<void()>* CommandContext::chosen(CLI::App& app) const {
    CLI::App* node = &app;
    while (true) {
        auto subs = node->get_subcommands();
        if (subs.empty()) break;
        node = subs.front();
    }
    auto it = m_actions.find(node);
    return it == m_actions.end() ? nullptr : &it->second;
}

}  // namespace calyra::cli
