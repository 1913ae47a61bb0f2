#include "cli/command_context.h"

namespace calyra::cli {

const CommandAction* CommandContext::chosen(CLI::App& app) const {
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
