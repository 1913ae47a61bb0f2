// Merges two edited versions of one vCard or iCalendar item against the
// version both started from, property by property: what only one side
// changed is taken from that side, what both changed alike is kept once,
// and where both changed a property differently the preferred side wins
// and the property is named as a conflict (the caller keeps the losing
// version whole in a conflict file).
//
// A "property" is every line of one name in one component (all TEL lines
// of a card together; the SUMMARY of one event occurrence). Components
// nest (a VEVENT in a VCALENDAR, a VALARM in a VEVENT) and are matched by
// name, UID and RECURRENCE-ID, so an override one side added or removed is
// merged as a whole. Lines are compared unfolded and written back as they
// came (folding and unknown properties kept byte for byte). Stamps that
// every writer changes (DTSTAMP, REV, LAST-MODIFIED, PRODID, SEQUENCE) are
// taken from the preferred side and never count as conflicts.
//
// Ownership: values. Thread-safety: pure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace calyra::sync {

enum class Prefer { Local, Remote };

struct MergeResult {
    std::string text;
    // "TEL", "VEVENT/SUMMARY": where both sides changed the same property
    // differently and the preferred side won.
    std::vector<std::string> conflicts;
};

MergeResult MergeThreeWay(std::string_view base, std::string_view local, std::string_view remote, Prefer prefer);

}  // namespace calyra::sync
