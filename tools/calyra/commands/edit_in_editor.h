// `edit ID --editor`: a record opened in the person's editor in the form
// other programs exchange it in (a contact as a vCard, an event or a task as
// iCalendar), and stored back as changed when the editor closes. An
// event's exceptions are not part of the text; `events exceptions` edits
// them.
//
// The whole change runs in one transaction. A text that cannot be stored
// (not one entry, a date that cannot be read, a refused value) changes
// nothing, and the edited file is kept and named so the work is not lost.
//
// Thread-safety: one thread, like the session.
#pragma once

#include <string>

#include "cli/command_context.h"

namespace calyra::cli {

enum class EditorKind { Contact, Event, Task };

// Adds the --editor flag to an edit command; CLI11 sets `asked`.
void AddEditorFlag(CLI::App& edit, EditorKind kind, bool& asked);

// When `asked`, edits the record in the editor and returns true; refuses
// (status 2) other options given with it.
bool EditIfAsked(CommandContext& ctx, const std::string& id, bool asked, bool otherOptions, EditorKind kind);

}  // namespace calyra::cli
