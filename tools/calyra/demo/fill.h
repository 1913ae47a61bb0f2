// Fills the current profile of a session with the demo's sample data,
// through the component's interfaces only. Items are recognised by their
// names (contacts by first and last name, events and tasks by subject,
// played files by path); those already there are left as they are, so
// filling twice adds nothing the second time.
//
// Played files are created as empty stand-ins under `media` when missing,
// because the top lists drop entries whose file does not exist.
//
// Ownership: nothing is handed out but the counts. Thread-safety: one
// thread, like the session.
#pragma once

#include <filesystem>

#include "demo/sample_data.h"
#include "output/output.h"
#include "session/session.h"

namespace calyra::cli {

// Returns what was added, by family: {"contacts": 6, "groups": 2, ...}.
// Throws ClientError naming the item that could not be written.
Json FillDemoProfile(Session& session, const DemoSample& sample, const std::filesystem::path& media);

}  // namespace calyra::cli
