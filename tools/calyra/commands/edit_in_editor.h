// `edit ID --editor`: a record opened in the person's editor in the form
// other programs exchange it in (a contact as a vCard), and stored back as
// changed when the editor closes.
//
// The whole change runs in one transaction. A text that cannot be stored
// (not one card, a date that cannot be read, a refused value) changes
// nothing, and the edited file is kept and named so the work is not lost.
//
// Thread-safety: one thread, like the session.
#pragma once

#include <string>

#include "shell/command_context.h"

namespace calyra::cli {

void EditContactInEditor(CommandContext& ctx, const std::string& id);

}  // namespace calyra::cli
