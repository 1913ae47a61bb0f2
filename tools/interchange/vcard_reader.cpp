#include "interchange/vcard_reader.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "interchange/content_line.h"
#include "interchange/text_encoding.h"
#include "interchange/vcard_vocabulary.h"

namespace calyra::interchange {
namespace {

// Names are compared as views: a length check first, where comparing a
// std::string with a C string measures and compares each time.
using namespace std::string_view_literals;

std::string Trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

// One card being read: where it began, its version and what it met.
struct CardState {
    ContactCard card;
    std::string version = "3.0";
    std::map<std::string, size_t> unmapped;  // merged into the report if the card is kept
    std::vector<Diagnostic> warnings;        // likewise
    void warn(size_t line, std::string what) { warnings.push_back({line, std::move(what), false}); }
};

Place PlaceOf(const ContentLine& l) {
    if (l.hasType("work")) return Place::Work;
    if (l.hasType("home")) return Place::Home;
    return Place::Other;
}

// TYPE values the card's fields do not stand for (custom labels such as
// "x-custom" or "main"), in order, each once.
std::vector<std::string> OtherTypes(const ContentLine& l) {
    static constexpr std::string_view kCovered[] = {"home", "work",  "pref",  "voice",    "cell",
                                                    "fax",  "pager", "other", "internet", "mobile"};
    std::vector<std::string> out;
    // A quoted value ("work,x-desk") is a list as well: the writer joins the
    // types with commas, so each piece is one type. Read in place, without
    // copying the parameter's values (every card's every line comes here).
    for (const auto& param : l.params) {
        if (param.name != "TYPE"sv) continue;
        for (const std::string& value : param.values)
            for (size_t start = 0; start <= value.size();) {
                const size_t end = std::min(value.find(',', start), value.size());
                std::string_view piece(value.data() + start, end - start);
                start = end + 1;
                const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
                while (!piece.empty() && blank(piece.front())) piece.remove_prefix(1);
                while (!piece.empty() && blank(piece.back())) piece.remove_suffix(1);
                std::string t(piece);
                for (char& c : t)
                    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
                // A type the writer could not give back as it came (a quote,
                // a caret escape, a control character) is not kept.
                const bool writable = std::none_of(t.begin(), t.end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x20 || c == ';' || c == ':' || c == '"' || c == '^' ||
                           c == '\\';
                });
                if (t.empty() || !writable ||
                    std::find(std::begin(kCovered), std::end(kCovered), t) != std::end(kCovered) ||
                    std::find(out.begin(), out.end(), t) != out.end())
                    continue;
                out.push_back(std::move(t));
            }
    }
    return out;
}

// A property kept as it came, as a 3.0 or 4.0 line: 2.1's BASE64 is
// written "b", and a value that was quoted-printable or in another charset
// is written decoded as escaped UTF-8 text.
std::string ExtraLine(const ContentLine& l, const std::string& value, bool decoded) {
    std::string out = l.group.empty() ? l.name : l.group + "." + l.name;
    for (const auto& param : l.params) {
        if (decoded && (param.name == "ENCODING"sv || param.name == "CHARSET"sv)) continue;
        out += ";" + param.name;
        // A comma inside a value is a list separator to every reader, quoted
        // or not, so a value holding one is written as the values it reads
        // back as.
        std::vector<std::string> values;
        for (const auto& whole : param.values) {
            if (whole.find(',') == std::string::npos) {
                values.push_back(whole);
                continue;
            }
            // Empty list items are not read back, so none is written.
            for (size_t start = 0; start <= whole.size();) {
                const size_t end = std::min(whole.find(',', start), whole.size());
                if (end > start) values.push_back(whole.substr(start, end - start));
                start = end + 1;
            }
        }
        if (values.empty()) values.emplace_back();
        for (size_t i = 0; i < values.size(); ++i) {
            std::string v = values[i];
            if (param.name == "ENCODING"sv && AsciiUpper(v) == "BASE64"sv) v = "b";
            // Blanks at either end are trimmed from a value read unquoted.
            const bool blankEnds =
                !v.empty() && (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t');
            const bool plain = v.find_first_of(";:\"\r\n^") == std::string::npos && !blankEnds;
            out += (i == 0 ? "=" : ",") + (plain ? v : QuoteParamValue(v));
        }
    }
    out += ':';
    if (!decoded) return out + value;
    for (char c : value) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

// Keeps a line to write back, unless it is not UTF-8 (a property or
// parameter name of stray bytes): such a line could not be written as
// vCard 3.0 or 4.0 text, so it is left out and said so.
void KeepExtra(CardState& s, const ContentLine& l, std::string line) {
    // BEGIN and END frame cards: kept inside one, they would split it.
    const std::string name = AsciiUpper(l.name);
    if (name == "BEGIN"sv || name == "END"sv || name == "VERSION"sv) return;
    if (IsValidUtf8(line))
        s.card.extras.push_back(std::move(line));
    else
        s.warn(l.line, "a property whose name or parameters are not text was left out");
}

bool PreferredOf(const ContentLine& l) {
    if (l.hasType("pref")) return true;
    for (const auto& v : l.param("PREF"))
        if (Trimmed(v) == "1"sv) return true;
    return false;
}

// A structured value's components, unescaped. With `lists`, a
// component's own list items (N's "Hans,Peter") are joined with a blank;
// without, commas are text (addresses and organisations, where older
// writers leave them unescaped).
std::vector<std::string> Components(std::string_view value, size_t atLeast, bool lists) {
    std::vector<std::string> out;
    for (const auto& part : SplitEscaped(value, ';')) {
        std::string joined;
        for (const auto& item : lists ? SplitEscaped(part, ',') : std::vector<std::string>{part}) {
            std::string text = Trimmed(UnescapeText(item));
            if (text.empty()) continue;
            if (!joined.empty()) joined += ' ';
            joined += text;
        }
        out.push_back(std::move(joined));
    }
    if (out.size() < atLeast) out.resize(atLeast);
    return out;
}

std::vector<std::string> ListItems(std::string_view value) {
    std::vector<std::string> out;
    for (const auto& item : SplitEscaped(value, ',')) {
        std::string text = Trimmed(UnescapeText(item));
        if (!text.empty()) out.push_back(std::move(text));
    }
    return out;
}

std::string JoinFrom(const std::vector<std::string>& parts, size_t from, std::string_view separator) {
    std::string out;
    for (size_t i = from; i < parts.size(); ++i) {
        if (parts[i].empty()) continue;
        if (!out.empty()) out += separator;
        out += parts[i];
    }
    return out;
}

void AppendText(std::string& field, const std::string& text, std::string_view separator) {
    if (text.empty()) return;
    if (!field.empty()) field += separator;
    field += text;
}

// "scheme:rest" -> scheme; empty when the text has no URI scheme.
std::string_view SchemeOf(std::string_view uri) {
    size_t colon = uri.find(':');
    if (colon == std::string_view::npos || colon == 0) return {};
    for (size_t i = 0; i < colon; ++i) {
        char c = uri[i];
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) return {};
    }
    if (!std::isalpha(static_cast<unsigned char>(uri[0]))) return {};
    return uri.substr(0, colon);
}

void ReadDate(CardState& s, const ContentLine& l, const std::string& value, std::optional<CardDate>& field) {
    if (auto d = ParseCardDate(UnescapeText(value)))
        field = d;
    else
        s.warn(l.line, l.name + ": \"" + value + "\" is not a date; left out");
}

// `uri`: the value is an IMPP URI ("skype:live:.cid.1234"). An old X-
// property (X-SKYPE, X-AIM ...) holds the handle itself, which may look
// like one ("live:.cid.1234" is a Skype handle, not a URI of scheme "live").
void ReadIm(CardState& s, const ContentLine& l, const ImService* service, std::string address, bool uri) {
    if (address.empty()) return;
    CardIm im;
    im.place = PlaceOf(l);
    im.preferred = PreferredOf(l);
    if (service) im.protocol = std::string(service->protocol);
    std::string_view scheme = uri ? SchemeOf(address) : std::string_view();
    if (!scheme.empty()) {
        const ImService* byScheme = ImServiceByScheme(scheme);
        if (!service && byScheme) im.protocol = std::string(byScheme->protocol);
        if (im.protocol.empty()) {
            im.protocol = std::string(scheme);
            for (char& c : im.protocol) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        // Trimmed again once decoded: "%20" at an end would otherwise keep a
        // blank that the next read, of the written handle, trims away.
        address = Trimmed(ImAddressFromUri(std::string_view(address).substr(scheme.size() + 1)));
        if (address.empty()) return;
    }
    if (im.protocol.empty()) im.protocol = "other";
    im.address = std::move(address);
    s.card.ims.push_back(std::move(im));
}

using Handler = std::function<void(CardState&, const ContentLine&, const std::string&)>;

// What each property does to the card; the value is decoded but still
// escaped. Properties not listed here are counted as having no place.
const std::map<std::string, Handler>& Handlers() {
    static const std::map<std::string, Handler> table = [] {
        std::map<std::string, Handler> t;
        t["FN"] = [](CardState& s, const ContentLine&, const std::string& v) {
            s.card.formattedName = Trimmed(UnescapeText(v));
        };
        t["N"] = [](CardState& s, const ContentLine&, const std::string& v) {
            auto c = Components(v, 5, true);
            s.card.familyName = c[0];
            s.card.givenName = c[1];
            s.card.additionalNames = c[2];
            s.card.prefixes = c[3];
            s.card.suffixes = JoinFrom(c, 4, " ");
        };
        t["NICKNAME"] = [](CardState& s, const ContentLine&, const std::string& v) {
            for (const auto& n : ListItems(v)) AppendText(s.card.nickname, n, ", ");
        };
        t["BDAY"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            ReadDate(s, l, v, s.card.birthday);
        };
        for (const char* name : {"ANNIVERSARY", "X-ANNIVERSARY", "X-MS-ANNIVERSARY", "X-EVOLUTION-ANNIVERSARY"})
            t[name] = [](CardState& s, const ContentLine& l, const std::string& v) {
                ReadDate(s, l, v, s.card.anniversary);
            };
        for (const char* name : {"X-SPOUSE", "X-MS-SPOUSE", "X-EVOLUTION-SPOUSE"})
            t[name] = [](CardState& s, const ContentLine&, const std::string& v) {
                s.card.spouse = Trimmed(UnescapeText(v));
            };
        t["RELATED"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            if (!l.hasType("spouse")) {
                ++s.unmapped["RELATED"];
                return;
            }
            // A URI by default ("urn:uuid:...", "mailto:..."), or plain text.
            std::string text = Trimmed(UnescapeText(v));
            bool isText = false;
            for (const auto& type : l.param("VALUE")) isText = isText || AsciiUpper(Trimmed(type)) == "TEXT"sv;
            s.card.spouse = isText || SchemeOf(text).empty() ? text : text.substr(SchemeOf(text).size() + 1);
        };
        t["ORG"] = [](CardState& s, const ContentLine&, const std::string& v) {
            auto c = Components(v, 1, false);
            s.card.organization = c[0];
            s.card.department = JoinFrom(c, 1, ", ");
        };
        t["TITLE"] = [](CardState& s, const ContentLine&, const std::string& v) {
            s.card.title = Trimmed(UnescapeText(v));
        };
        t["NOTE"] = [](CardState& s, const ContentLine&, const std::string& v) {
            AppendText(s.card.note, UnescapeText(v), "\n");
        };
        t["ADR"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            auto c = Components(v, 7, false);
            CardAddress a{PlaceOf(l), PreferredOf(l),      c[0],    c[1],         c[2], c[3], c[4],
                          c[5],       JoinFrom(c, 6, " "), l.group, OtherTypes(l)};
            if (a.street.empty() && a.locality.empty() && a.region.empty() && a.postalCode.empty() &&
                a.country.empty() && a.poBox.empty() && a.extended.empty())
                return;
            s.card.addresses.push_back(std::move(a));
        };
        t["TEL"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            std::string number = Trimmed(UnescapeText(v));
            // What follows the scheme is trimmed as the whole value was, so
            // the number reads the same after the writer drops the scheme.
            if (HasUriScheme(number, "tel")) number = Trimmed(std::string_view(number).substr(4));
            if (number.empty()) return;
            CardPhone p;
            p.place = PlaceOf(l);
            p.preferred = PreferredOf(l);
            if (l.hasType("cell") || l.hasType("mobile") || l.hasType("iphone"))
                p.kind = PhoneKind::Mobile;
            else if (l.hasType("fax"))
                p.kind = PhoneKind::Fax;
            else if (l.hasType("pager"))
                p.kind = PhoneKind::Pager;
            p.number = std::move(number);
            p.group = l.group;
            p.otherTypes = OtherTypes(l);
            s.card.phones.push_back(std::move(p));
        };
        t["EMAIL"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            std::string text = Trimmed(UnescapeText(v));
            if (HasUriScheme(text, "mailto")) text = Trimmed(std::string_view(text).substr(7));
            if (!text.empty())
                s.card.emails.push_back({PlaceOf(l), PreferredOf(l), std::move(text), l.group, OtherTypes(l)});
        };
        t["URL"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            std::string text = Trimmed(UnescapeText(v));
            if (!text.empty())
                s.card.urls.push_back({PlaceOf(l), PreferredOf(l), std::move(text), l.group, OtherTypes(l)});
        };
        t["IMPP"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            const ImService* service = nullptr;
            for (const auto& type : l.param("X-SERVICE-TYPE"))
                if (!service) service = ImServiceByServiceType(type);
            std::string address = Trimmed(UnescapeText(v));
            if (!service && SchemeOf(address).empty() && l.hasParam("X-SERVICE-TYPE")) {
                // A service we do not know, named only by the parameter.
                std::string name = Trimmed(l.param("X-SERVICE-TYPE").front());
                for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                // Written back as that URI scheme, a name that is a known
                // service's scheme ("xmpp") reads as that service.
                if (const ImService* byScheme = ImServiceByScheme(name)) name = std::string(byScheme->protocol);
                if (!address.empty()) s.card.ims.push_back({PlaceOf(l), PreferredOf(l), name, std::move(address)});
                return;
            }
            ReadIm(s, l, service, std::move(address), true);
        };
        for (const auto& service : ImServices())
            for (std::string_view name : {service.property, service.altProperty})
                if (!name.empty())
                    t[std::string(name)] = [p = &service](CardState& s, const ContentLine& l, const std::string& v) {
                        ReadIm(s, l, p, Trimmed(UnescapeText(v)), false);
                    };
        t["UID"] = [](CardState& s, const ContentLine&, const std::string& v) { s.card.uid = Trimmed(v); };
        t["KIND"] = [](CardState& s, const ContentLine&, const std::string& v) {
            s.card.kind = Trimmed(UnescapeText(v));
            for (char& c : s.card.kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (s.card.kind == "individual") s.card.kind.clear();
        };
        t["X-ADDRESSBOOKSERVER-KIND"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            Handlers().at("KIND")(s, l, v);
        };
        t["X-ADDRESSBOOKSERVER-MEMBER"] = [](CardState& s, const ContentLine& l, const std::string& v) {
            Handlers().at("MEMBER")(s, l, v);
        };
        t["MEMBER"] = [](CardState& s, const ContentLine&, const std::string& v) {
            if (std::string member = Trimmed(v); !member.empty()) s.card.members.push_back(std::move(member));
        };
        t["CATEGORIES"] = [](CardState& s, const ContentLine&, const std::string& v) {
            for (auto& c : ListItems(v))
                if (std::find(s.card.categories.begin(), s.card.categories.end(), c) == s.card.categories.end())
                    s.card.categories.push_back(std::move(c));
        };
        return t;
    }();
    return table;
}

// CRLF and a lone CR become LF.
std::string WithLineFeeds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
        } else if (i + 1 == text.size() || text[i + 1] != '\n') {
            out += '\n';
        }
    }
    return out;
}

bool IsEncoded(const ContentLine& l, std::string_view encoding) {
    for (const auto& v : l.param("ENCODING"))
        if (AsciiUpper(v) == encoding) return true;
    return false;
}

// "BEGIN:VCARD" or "END:VCARD", in any case and spacing.
bool IsCardBoundary(std::string_view physicalLine) {
    ContentLine l;
    std::string error;
    return ParseContentLine({0, std::string(physicalLine)}, &l, &error) && (l.name == "BEGIN"sv || l.name == "END"sv) &&
           AsciiUpper(Trimmed(l.value)) == "VCARD"sv;
}

bool IsEmptyCard(const ContactCard& c) {
    return c.formattedName.empty() && c.familyName.empty() && c.givenName.empty() && c.additionalNames.empty() &&
           c.nickname.empty() && c.organization.empty() && c.phones.empty() && c.emails.empty() &&
           c.addresses.empty() && c.urls.empty() && c.ims.empty();
}

class CardReader {
public:
    CardReader(std::string_view text, VCardParseResult& result) : m_text(text), m_lines(text), m_result(result) {}

    void run() {
        size_t strayFrom = 0;  // first line of a run of lines outside any card
        std::optional<LogicalLine> pending;
        while (true) {
            // Where the card's text begins; unknown for a BEGIN line that
            // ended the card before it.
            const size_t start = pending ? std::string_view::npos : m_lines.offset();
            std::optional<LogicalLine> logical = pending ? std::move(pending) : m_lines.next();
            pending.reset();
            if (!logical) break;
            ContentLine line;
            std::string error;
            if (ParseContentLine(*logical, &line, &error) && line.name == "BEGIN"sv &&
                AsciiUpper(Trimmed(line.value)) == "VCARD"sv) {
                flushStray(strayFrom);
                pending = readCard(line.line, start);
                continue;
            }
            if (!strayFrom) strayFrom = logical->line;
        }
        flushStray(strayFrom);
    }

private:
    void flushStray(size_t& from) {
        if (from) m_result.report.warn(from, "text outside BEGIN:VCARD ... END:VCARD ignored");
        from = 0;
    }

    // Reads one card after its BEGIN line. Returns a BEGIN:VCARD line that
    // ended the card early (the card had no END), to be read next.
    std::optional<LogicalLine> readCard(size_t beginLine, size_t start) {
        CardState s;
        s.card.line = beginLine;
        std::optional<Diagnostic> broken;
        bool agentPending = false;
        while (true) {
            std::optional<LogicalLine> logical = m_lines.next(s.version == "2.1"sv);
            if (!logical) {
                m_result.report.skip(beginLine, "card has no END:VCARD before the end of the file");
                return std::nullopt;
            }
            ContentLine l;
            std::string error;
            if (!ParseContentLine(*logical, &l, &error)) {
                if (!broken) broken = Diagnostic{logical->line, error, true};
                continue;
            }
            if (l.name == "BEGIN"sv) {
                if (AsciiUpper(Trimmed(l.value)) == "VCARD"sv && agentPending) {
                    if (std::optional<LogicalLine> next = skipNested()) {
                        m_result.report.skip(beginLine,
                                             "embedded AGENT card has no END:VCARD before the next BEGIN:VCARD");
                        return next;
                    }
                    agentPending = false;
                    continue;
                }
                if (AsciiUpper(Trimmed(l.value)) == "VCARD"sv) {
                    m_result.report.skip(beginLine, "card has no END:VCARD before the next BEGIN:VCARD");
                    return logical;
                }
            }
            agentPending = false;
            if (l.name == "END"sv) {
                if (AsciiUpper(Trimmed(l.value)) != "VCARD"sv) continue;
                if (start != std::string_view::npos) {
                    std::string_view text = m_text.substr(start, m_lines.offset() - start);
                    while (!text.empty() && (text.front() == '\r' || text.front() == '\n' || text.front() == ' ' ||
                                             text.front() == '\t'))
                        text.remove_prefix(1);
                    s.card.source = text;
                }
                finish(s, broken);
                return std::nullopt;
            }
            if (l.name == "VERSION"sv) {
                std::string v = Trimmed(l.value);
                if (v == "2.1"sv || v == "3.0"sv || v == "4.0"sv)
                    s.version = v;
                else
                    s.warn(l.line, "unknown vCard version \"" + v + "\"; read as 3.0");
                continue;
            }
            if (l.name == "PRODID"sv || (l.name == "KIND"sv && AsciiUpper(Trimmed(l.value)) == "INDIVIDUAL"sv))
                continue;
            if (l.name == "AGENT"sv && Trimmed(l.value).empty()) agentPending = true;
            readProperty(s, l);
        }
    }

    // Skips an embedded card (vCard 2.1 AGENT) up to its END:VCARD. A
    // BEGIN:VCARD inside it opens a further embedded card only right after
    // an empty AGENT; any other starts the next card of the file, which is
    // returned: the embedded card had no END, and its card is lost, not
    // every card after it.
    std::optional<LogicalLine> skipNested() {
        int depth = 1;
        bool agentPending = false;
        while (depth > 0) {
            auto logical = m_lines.next();
            if (!logical) return std::nullopt;
            ContentLine l;
            std::string error;
            if (!ParseContentLine(*logical, &l, &error)) continue;  // changes nothing, as in a card
            const bool card = AsciiUpper(Trimmed(l.value)) == "VCARD"sv;
            if (card && l.name == "BEGIN"sv) {
                if (!agentPending) return logical;
                ++depth;
            } else if (card && l.name == "END"sv) {
                --depth;
            }
            agentPending = l.name == "AGENT"sv && Trimmed(l.value).empty();
        }
        return std::nullopt;
    }

    void readProperty(CardState& s, ContentLine& l) {
        const bool quotedPrintable = IsEncoded(l, "QUOTED-PRINTABLE");
        // A quoted-printable value ending in '=' goes on on the next line,
        // but never into the card's own BEGIN or END line: a writer that
        // ended a value with a soft break would otherwise merge two cards.
        while (quotedPrintable && !l.value.empty() && l.value.back() == '=' && m_lines.peek() &&
               !IsCardBoundary(*m_lines.peek())) {
            l.value.pop_back();
            LogicalLine more;
            m_lines.continueWithNextLine(more);
            l.value += more.text;
        }
        if (IsEncoded(l, "BASE64") || IsEncoded(l, "B")) {
            // Binary data (PHOTO, LOGO, SOUND, KEY). vCard 2.1 lets it run
            // on over unindented lines up to a blank one; later versions
            // fold it, and a next line without a colon in its first fold is
            // a property of its own.
            std::string value = l.value;
            while (auto next = s.version == "2.1"sv ? m_lines.peek() : std::nullopt) {
                if (Trimmed(*next).empty() || next->find(':') != std::string_view::npos) break;
                LogicalLine more;
                m_lines.continueWithNextLine(more);
                value += Trimmed(more.text);
            }
            ++s.unmapped[l.name];
            value.erase(std::remove_if(value.begin(), value.end(),
                                       [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
                        value.end());
            KeepExtra(s, l, ExtraLine(l, value, false));
            return;
        }
        auto handler = Handlers().find(l.name);
        // A property kept only to be written back decodes quietly: its text
        // is no field of the card.
        const size_t warned = s.warnings.size();
        std::string value = l.value;
        if (quotedPrintable) {
            bool malformed = false;
            value = DecodeQuotedPrintable(value, &malformed);
            if (malformed) s.warn(l.line, l.name + ": malformed quoted-printable text kept as written");
        }
        // A zero byte ends a text where the records keep it, so no value or
        // parameter carries one (the writer could not bring it back either).
        auto dropZeroBytes = [](std::string& text) {
            text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
        };
        // Parameter values (X-SERVICE-TYPE names a service) are text too;
        // CHARSET speaks only for the value.
        for (auto& param : l.params)
            for (auto& v : param.values) {
                if (!IsValidUtf8(v)) {
                    s.warn(l.line, l.name + ": parameter " + param.name + " is not UTF-8; read as Windows-1252");
                    v = Windows1252ToUtf8(v);
                }
                dropZeroBytes(v);
            }
        std::vector<std::string> charset = l.param("CHARSET");
        if (!charset.empty()) {
            if (auto converted = ConvertToUtf8(value, charset.front())) {
                value = std::move(*converted);
            } else {
                s.warn(l.line, l.name + ": text is not " + charset.front() + "; read as Windows-1252");
                value = IsValidUtf8(value) ? value : Windows1252ToUtf8(value);
            }
        } else if (!IsValidUtf8(value)) {
            s.warn(l.line, l.name + ": text is not UTF-8; read as Windows-1252");
            value = Windows1252ToUtf8(value);
        }
        // Encoded line breaks are CRLF, or a lone CR from old Macs; the
        // cards keep line feeds, which the writer can write back. Only now,
        // in UTF-8: before the charset conversion a 0x0D byte may be half of
        // a UTF-16 unit, and EBCDIC's line feed is not 0x0A.
        if (quotedPrintable) value = WithLineFeeds(value);
        dropZeroBytes(value);
        if (handler == Handlers().end()) {
            s.warnings.resize(warned);
            ++s.unmapped[l.name];
            KeepExtra(s, l, ExtraLine(l, value, quotedPrintable || !charset.empty()));
            return;
        }
        handler->second(s, l, value);
    }

    void finish(CardState& s, const std::optional<Diagnostic>& broken) {
        if (broken) {
            m_result.report.diagnostics.push_back(*broken);
            return;
        }
        if (IsEmptyCard(s.card)) {
            m_result.report.skip(s.card.line, "card has no name and no details");
            return;
        }
        for (auto& w : s.warnings) m_result.report.diagnostics.push_back(std::move(w));
        for (const auto& [name, n] : s.unmapped) m_result.report.unmapped[name] += n;
        m_result.cards.push_back(std::move(s.card));
    }

    std::string_view m_text;
    ContentLineReader m_lines;
    VCardParseResult& m_result;
};

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int ToInt(std::string_view s) {
    int v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

bool ValidDay(int year, int month, int day) {
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    if (month == 2 && day == 29 && year != 0) return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return true;
}

}  // namespace

std::optional<CardDate> ParseCardDate(std::string_view text) {
    std::string t = Trimmed(text);
    std::string_view s = t;
    if (auto tpos = s.find('T'); tpos != std::string_view::npos) s = s.substr(0, tpos);
    CardDate d;
    std::string digits;
    if (s.rfind("--", 0) == 0) {
        // No year: "--0412" or "--04-12".
        for (char c : s.substr(2))
            if (c != '-') digits += c;
        if (digits.size() != 4 || !AllDigits(digits)) return std::nullopt;
        d.month = ToInt(digits.substr(0, 2));
        d.day = ToInt(digits.substr(2, 2));
    } else {
        for (char c : s)
            if (c != '-') digits += c;
        if (digits.size() != 8 || !AllDigits(digits)) return std::nullopt;
        if (s.size() == 10 && (s[4] != '-' || s[7] != '-')) return std::nullopt;
        if (s.size() != 8 && s.size() != 10) return std::nullopt;
        d.year = ToInt(digits.substr(0, 4));
        d.month = ToInt(digits.substr(4, 2));
        d.day = ToInt(digits.substr(6, 2));
        if (d.year == 0) return std::nullopt;
    }
    if (!ValidDay(d.year, d.month, d.day)) return std::nullopt;
    return d;
}

VCardParseResult ParseVCards(std::string_view bytes) { return ParseVCardText(NormalizeInput(bytes)); }

VCardParseResult ParseVCardText(std::string_view text) {
    VCardParseResult result;
    CardReader(text, result).run();
    // Messages quote the file ("unknown vCard version ..."), which need not
    // be UTF-8 where no value was decoded.
    for (auto& d : result.report.diagnostics)
        if (!IsValidUtf8(d.what)) d.what = Windows1252ToUtf8(d.what);
    return result;
}

}  // namespace calyra::interchange
