// The current profile's events read in bulk for the commands that walk
// them all (list, month, export, import matching): the master events in one
// query, every exception of the profile in a second, grouped by master in
// memory. Before, each master cost a query of its own for its exceptions,
// which made a 20,000-event export take a minute.
//
// A range read keeps the masters that can have an occurrence in the
// range: every repeating one (the rule decides, in memory) and the others
// that overlap it, the same closed overlap as the component's range lists.
//
// Records are the component's own (read with its column map of [tEvent]),
// masters in ID order, which is the order GetAllEvents returns them in.
//
// Ownership: ProfileEvents owns every record; exceptionsOf hands out
// pointers into it. Thread-safety: one thread, like the session.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "idl/calyra_idl.h"
#include "records/record_rows.h"
#include "shell/session.h"

namespace calyra::cli {

struct DateRange {
    DATE from = 0, to = 0;  // closed
};

class ProfileEvents {
public:
    // Reads the profile's masters (those that can occur in `range`, or all)
    // and all its exceptions. Throws ClientError when a query fails.
    ProfileEvents(Session& session, std::optional<DateRange> range = std::nullopt);

    const RecordRows<tagEventInfo>& masters() const { return m_masters; }
    // The exceptions of master `id`, in ID order (empty when it has none).
    const std::vector<const tagEventInfo*>& exceptionsOf(const std::string& id) const;

private:
    RecordRows<tagEventInfo> m_masters;
    RecordRows<tagEventInfo> m_exceptions;
    std::unordered_map<std::string, std::vector<const tagEventInfo*>> m_byMaster;
};

}  // namespace calyra::cli
