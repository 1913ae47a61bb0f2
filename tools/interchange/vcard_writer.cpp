#include "interchange/vcard_writer.h"

#include <cctype>
#include <cstdio>

#include "interchange/content_line.h"
#include "interchange/vcard_vocabulary.h"

namespace calyra::interchange {
namespace {

// The reader drops blanks and line breaks at either end of every value but
// a note's (a file's "X-SPOUSE: Anna" means "Anna"), so the writer does too:
// otherwise a text with them would be written one way by the first export
// and another by the export after reading it back.
std::string Trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

class CardWriter {
public:
    explicit CardWriter(VCardVersion version) : m_v4(version == VCardVersion::V4) {}

    void line(std::string_view nameAndParams, std::string_view value) {
        std::string text(nameAndParams);
        text += ':';
        text += value;
        m_out += FoldLine(text);
    }
    // A text the reader trims; nothing when only blanks are left.
    void text(std::string_view name, const std::string& value) {
        if (const std::string kept = Trimmed(value); !kept.empty()) line(name, EscapeText(kept));
    }
    // TYPE (and PREF) parameters in the version's form.
    // `group` (a content-line group) goes before the name; `other` are
    // further TYPE values written after the ones given.
    std::string typed(std::string_view name, std::vector<std::string_view> types, bool preferred,
                      const std::string& group = "", const std::vector<std::string>& other = {}) const {
        std::string out = group.empty() ? std::string(name) : group + "." + std::string(name);
        for (const auto& t : other) types.push_back(t);
        if (preferred && !m_v4) types.push_back("pref");
        std::string joined;
        for (auto t : types) {
            if (t.empty()) continue;
            if (!joined.empty()) joined += ',';
            joined += t;
        }
        // Appended piece by piece: g++ 12 at -O3 warns (wrongly) about
        // overlapping copies in "literal" + std::string.
        if (!joined.empty()) out.append(";TYPE=").append(joined);
        if (preferred && m_v4) out += ";PREF=1";
        return out;
    }
    std::string date(const CardDate& d) const {
        char buf[16];
        if (d.year == 0)
            std::snprintf(buf, sizeof buf, m_v4 ? "--%02d%02d" : "--%02d-%02d", d.month, d.day);
        else
            std::snprintf(buf, sizeof buf, m_v4 ? "%04d%02d%02d" : "%04d-%02d-%02d", d.year, d.month, d.day);
        return buf;
    }
    // A whole content line kept from a card read before.
    void raw(std::string_view contentLine) { m_out += FoldLine(contentLine); }
    bool v4() const { return m_v4; }
    std::string take() { return std::move(m_out); }

private:
    bool m_v4;
    std::string m_out;
};

std::string Structured(std::initializer_list<const std::string*> parts) {
    std::string out;
    bool first = true;
    for (const std::string* p : parts) {
        if (!first) out += ';';
        out += EscapeText(Trimmed(*p));
        first = false;
    }
    return out;
}

bool IsSchemeToken(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
        if (!(std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '+' ||
              c == '-' || c == '.'))
            return false;
    return true;
}

// The reader drops a "tel:" or "mailto:" in front of a number or address, so
// one that starts with it gets a second.
std::string Unprefixable(const std::string& text, std::string_view scheme) {
    return HasUriScheme(text, scheme) ? std::string(scheme) + ":" + text : text;
}

}  // namespace

std::string DisplayName(const ContactCard& c) {
    if (!c.formattedName.empty()) return c.formattedName;
    std::string name;
    for (const std::string* part : {&c.prefixes, &c.givenName, &c.additionalNames, &c.familyName, &c.suffixes})
        if (!part->empty()) name += (name.empty() ? "" : " ") + *part;
    if (!name.empty()) return name;
    if (!c.organization.empty()) return c.organization;
    if (!c.emails.empty()) return c.emails.front().text;
    if (!c.phones.empty()) return c.phones.front().number;
    return "";
}

std::string WriteVCard(const ContactCard& c, VCardVersion version) {
    CardWriter w(version);
    w.line("BEGIN", "VCARD");
    w.line("VERSION", w.v4() ? "4.0" : "3.0");
    // KIND and MEMBER are 4.0's; a 3.0 file keeps them as the X- lines
    // other 3.0 programs use for groups.
    if (!c.kind.empty()) w.line(w.v4() ? "KIND" : "X-ADDRESSBOOKSERVER-KIND", EscapeText(c.kind));
    w.line("FN", EscapeText(Trimmed(DisplayName(c))));
    w.line("N", Structured({&c.familyName, &c.givenName, &c.additionalNames, &c.prefixes, &c.suffixes}));
    w.text("NICKNAME", c.nickname);
    if (c.birthday) w.line("BDAY", w.date(*c.birthday));
    if (c.anniversary) w.line(w.v4() ? "ANNIVERSARY" : "X-ANNIVERSARY", w.date(*c.anniversary));
    w.text(w.v4() ? "RELATED;TYPE=spouse;VALUE=text" : "X-SPOUSE", c.spouse);
    const std::string organization = Trimmed(c.organization), department = Trimmed(c.department);
    if (!organization.empty() || !department.empty()) {
        std::string org = EscapeText(organization);
        if (!department.empty()) org.append(";").append(EscapeText(department));
        w.line("ORG", org);
    }
    w.text("TITLE", c.title);
    if (!c.note.empty()) w.line("NOTE", EscapeText(c.note));
    for (const auto& a : c.addresses) {
        // An address of blanks only is none to the reader.
        if (Trimmed(a.poBox + a.extended + a.street + a.locality + a.region + a.postalCode + a.country).empty())
            continue;
        w.line(w.typed("ADR", {PlaceType(a.place)}, a.preferred, a.group, a.otherTypes),
               Structured({&a.poBox, &a.extended, &a.street, &a.locality, &a.region, &a.postalCode, &a.country}));
    }
    for (const auto& p : c.phones)
        if (const std::string number = Trimmed(p.number); !number.empty())
            w.line(w.typed("TEL", {PhoneKindType(p.kind), PlaceType(p.place)}, p.preferred, p.group, p.otherTypes),
                   EscapeText(Unprefixable(number, "tel")));
    for (const auto& e : c.emails)
        if (const std::string text = Trimmed(e.text); !text.empty())
            w.line(w.typed("EMAIL", {w.v4() ? "" : "internet", PlaceType(e.place)}, e.preferred, e.group, e.otherTypes),
                   EscapeText(Unprefixable(text, "mailto")));
    for (const auto& u : c.urls)
        if (const std::string text = Trimmed(u.text); !text.empty())
            w.line(w.typed("URL", {PlaceType(u.place)}, u.preferred, u.group, u.otherTypes), EscapeText(text));
    for (const auto& im : c.ims) {
        const std::string address = Trimmed(im.address);
        if (address.empty()) continue;
        std::string name = w.typed("IMPP", {PlaceType(im.place)}, im.preferred, im.group, im.otherTypes);
        std::string value;
        if (const ImService* service = ImServiceByProtocol(im.protocol)) {
            value = std::string(service->scheme) + ":" + ImUriAddress(address);
        } else if (IsSchemeToken(im.protocol)) {
            value = im.protocol + ":" + ImUriAddress(address);
        } else {
            // A service with no URI scheme of its own: named by parameter.
            name += ";X-SERVICE-TYPE=" + QuoteParamValue(im.protocol);
            value = address;
        }
        w.line(name, EscapeText(value));
    }
    std::string list;
    for (const auto& category : c.categories)
        if (const std::string cat = Trimmed(category); !cat.empty()) {
            if (!list.empty()) list += ',';
            list += EscapeText(cat);
        }
    if (!list.empty()) w.line("CATEGORIES", list);
    for (const auto& member : c.members) w.line(w.v4() ? "MEMBER" : "X-ADDRESSBOOKSERVER-MEMBER", member);
    if (const std::string uid = Trimmed(c.uid); !uid.empty()) w.line("UID", uid);
    for (const auto& extra : c.extras) w.raw(extra);
    w.line("END", "VCARD");
    return w.take();
}

std::string WriteVCards(const std::vector<ContactCard>& cards, VCardVersion version) {
    std::string out;
    for (const auto& c : cards) out += WriteVCard(c, version);
    return out;
}

}  // namespace calyra::interchange
