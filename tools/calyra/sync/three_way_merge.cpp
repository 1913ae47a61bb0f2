#include "sync/three_way_merge.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace calyra::sync {
namespace {

struct Line {
    std::string raw;      // the physical lines as they came, CR LF ended
    std::string logical;  // unfolded, for comparison
    std::string name;     // upper case, without group
};

struct Component {
    std::string name;        // "VCARD", "VEVENT", ...
    std::string key;         // name, UID and RECURRENCE-ID
    std::string begin, end;  // the BEGIN and END lines as they came
    std::vector<Line> properties;
    std::vector<Component> children;
};

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string NameOf(std::string_view logical) {
    const size_t end = logical.find_first_of(";:");
    std::string_view name = logical.substr(0, end == std::string_view::npos ? logical.size() : end);
    if (const size_t dot = name.find('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
    return Upper(name);
}

std::string ValueOf(std::string_view logical) {
    // The first ':' outside a quoted parameter value.
    bool quoted = false;
    for (size_t i = 0; i < logical.size(); ++i) {
        if (logical[i] == '"') quoted = !quoted;
        if (logical[i] == ':' && !quoted) return std::string(logical.substr(i + 1));
    }
    return {};
}

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view physical = text.substr(pos, end - pos);
        std::string_view content = physical;
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) content.remove_suffix(1);
        const bool continuation = !physical.empty() && (physical[0] == ' ' || physical[0] == '\t');
        if (continuation && !out.empty()) {
            out.back().raw += std::string(content) + "\r\n";
            out.back().logical += std::string(content.substr(1));
        } else if (!content.empty()) {
            out.push_back({std::string(content) + "\r\n", std::string(content), {}});
        }
        pos = end;
    }
    for (Line& l : out) l.name = NameOf(l.logical);
    return out;
}

// Reads the components of `lines` from `i` until END of `into` (or the end).
void ReadComponent(const std::vector<Line>& lines, size_t& i, Component& into) {
    while (i < lines.size()) {
        const Line& l = lines[i++];
        if (l.name == "BEGIN") {
            Component child;
            child.name = Upper(ValueOf(l.logical));
            child.begin = l.raw;
            ReadComponent(lines, i, child);
            // A card is one item whatever its UID says (a side without a
            // UID line is still the same card); events and their overrides
            // are told apart by UID and RECURRENCE-ID.
            std::string key = child.name;
            if (child.name != "VCARD")
                for (const Line& p : child.properties)
                    if (p.name == "UID" || p.name == "RECURRENCE-ID") key += "|" + p.name + "=" + ValueOf(p.logical);
            if (child.name == "VTIMEZONE")
                for (const Line& p : child.properties)
                    if (p.name == "TZID") key += "|" + ValueOf(p.logical);
            child.key = key;
            into.children.push_back(std::move(child));
        } else if (l.name == "END") {
            into.end = l.raw;
            return;
        } else {
            into.properties.push_back(l);
        }
    }
}

Component Parse(std::string_view text) {
    Component root;
    const std::vector<Line> lines = SplitLines(text);
    size_t i = 0;
    ReadComponent(lines, i, root);
    // Components of one kind and key that repeat (two VALARMs) are told
    // apart by their order.
    std::function<void(Component&)> number = [&](Component& c) {
        std::map<std::string, int> seen;
        for (Component& child : c.children) {
            const int n = seen[child.key]++;
            if (n) child.key.append("#").append(std::to_string(n));
            number(child);
        }
    };
    number(root);
    return root;
}

bool IsStamp(const std::string& name) {
    static const std::set<std::string> stamps{"DTSTAMP", "REV", "LAST-MODIFIED", "PRODID", "SEQUENCE"};
    return stamps.contains(name);
}

std::vector<std::string> ValuesNamed(const Component* c, const std::string& name) {
    std::vector<std::string> out;
    if (!c) return out;
    for (const Line& l : c->properties)
        if (l.name == name) out.push_back(l.logical);
    return out;
}

void EmitNamed(const Component* c, const std::string& name, std::string& out) {
    if (!c) return;
    for (const Line& l : c->properties)
        if (l.name == name) out += l.raw;
}

const Component* ChildKeyed(const Component* c, const std::string& key) {
    if (!c) return nullptr;
    for (const Component& child : c->children)
        if (child.key == key) return &child;
    return nullptr;
}

std::string Render(const Component& c) {
    std::string out = c.begin;
    for (const Line& l : c.properties) out += l.raw;
    for (const Component& child : c.children) out += Render(child);
    return out + c.end;
}

bool Same(const Component* a, const Component* b) {
    if (!a || !b) return a == b;
    return Render(*a) == Render(*b);
}

struct Merger {
    Prefer prefer;
    std::vector<std::string> conflicts;

    // Merges one component present on at least one side; `path` names it.
    void merge(const Component* base, const Component* local, const Component* remote, const std::string& path,
               std::string& out) {
        const Component* shape = prefer == Prefer::Remote ? (remote ? remote : local) : (local ? local : remote);
        out += shape->begin;
        // Property names in the order the preferred side has them, then the
        // other side's new ones.
        std::vector<std::string> names;
        auto addNames = [&](const Component* c) {
            if (!c) return;
            for (const Line& l : c->properties)
                if (std::find(names.begin(), names.end(), l.name) == names.end()) names.push_back(l.name);
        };
        addNames(shape);
        addNames(shape == remote ? local : remote);
        addNames(base);
        for (const std::string& name : names) {
            const auto b = ValuesNamed(base, name), l = ValuesNamed(local, name), r = ValuesNamed(remote, name);
            const Component* take;
            if (l == r)
                take = shape;
            else if (l == b)
                take = remote;
            else if (r == b)
                take = local;
            else {
                take = prefer == Prefer::Remote ? remote : local;
                if (!IsStamp(name)) conflicts.push_back(path.empty() ? name : path + "/" + name);
            }
            EmitNamed(take, name, out);
        }
        std::vector<std::string> keys;
        auto addKeys = [&](const Component* c) {
            if (!c) return;
            for (const Component& child : c->children)
                if (std::find(keys.begin(), keys.end(), child.key) == keys.end()) keys.push_back(child.key);
        };
        addKeys(shape);
        addKeys(shape == remote ? local : remote);
        for (const std::string& key : keys) {
            const Component *cb = ChildKeyed(base, key), *cl = ChildKeyed(local, key), *cr = ChildKeyed(remote, key);
            const std::string childPath = (path.empty() ? "" : path + "/") + (cl ? cl->name : cr->name);
            if (cl && cr) {
                merge(cb, cl, cr, childPath, out);
            } else if (cb) {
                // One side removed it: gone unless the other side changed it.
                const Component* kept = cl ? cl : cr;
                if (!Same(kept, cb)) {
                    conflicts.push_back(childPath);
                    const bool keptIsPreferred = (kept == cl) == (prefer == Prefer::Local);
                    if (keptIsPreferred) out += Render(*kept);
                }
            } else {
                out += Render(cl ? *cl : *cr);  // new on one side
            }
        }
        out += shape->end;
    }
};

}  // namespace

MergeResult MergeThreeWay(std::string_view base, std::string_view local, std::string_view remote, Prefer prefer) {
    const Component b = Parse(base), l = Parse(local), r = Parse(remote);
    Merger merger{prefer, {}};
    MergeResult result;
    merger.merge(&b, &l, &r, "", result.text);
    result.conflicts = std::move(merger.conflicts);
    return result;
}

}  // namespace calyra::sync
