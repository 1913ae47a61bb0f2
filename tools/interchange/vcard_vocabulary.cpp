#include "interchange/vcard_vocabulary.h"

#include <cctype>

#include "interchange/text_encoding.h"

namespace calyra::interchange {
namespace {

constexpr ImService kServices[] = {
    {"aim", "aim", "X-AIM", "", "", "AIM"},
    {"jabber", "xmpp", "X-JABBER", "", "", "Jabber"},
    {"skype", "skype", "X-SKYPE", "X-SKYPE-USERNAME", "callto", "Skype"},
    {"icq", "icq", "X-ICQ", "", "", "ICQ"},
    {"msn", "msnim", "X-MSN", "", "", "MSN"},
    {"yahoo", "ymsgr", "X-YAHOO", "", "", "Yahoo"},
    {"gadugadu", "gg", "X-GADUGADU", "", "", "GaduGadu"},
    {"groupwise", "groupwise", "X-GROUPWISE", "", "", "GroupWise"},
    {"qq", "qq", "X-QQ", "", "", "QQ"},
    {"gtalk", "gtalk", "X-GOOGLE-TALK", "X-GTALK", "", "GoogleTalk"},
    {"sip", "sip", "X-SIP", "", "sips", "SIP"},
    {"irc", "irc", "", "", "", "IRC"},
    {"facebook", "fb", "X-FACEBOOK", "", "", "Facebook"},
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsEscape(std::string_view text, size_t at) {
    return text[at] == '%' && at + 2 < text.size() && HexValue(text[at + 1]) >= 0 && HexValue(text[at + 2]) >= 0;
}

}  // namespace

bool HasUriScheme(std::string_view text, std::string_view scheme) {
    return text.size() > scheme.size() && text[scheme.size()] == ':' &&
           EqualsNoCase(text.substr(0, scheme.size()), scheme);
}

std::string ImUriAddress(std::string_view address) {
    std::string out;
    for (size_t i = 0; i < address.size(); ++i) {
        if (address[i] == '?')
            out += "%3F";
        else if (i == 0 && address.substr(0, 2) == "//")
            out += "%2F";
        else if (IsEscape(address, i))
            out += "%25";
        else
            out += address[i];
    }
    return out;
}

std::string ImAddressFromUri(std::string_view rest) {
    if (rest.substr(0, 2) == "//") rest.remove_prefix(2);
    rest = rest.substr(0, rest.find('?'));
    std::string out;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (IsEscape(rest, i)) {
            // "%00" is dropped like a raw zero byte in any value: no text
            // the client stores may hold one.
            const char c = static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
            if (c != '\0') out += c;
            i += 2;
        } else {
            out += rest[i];
        }
    }
    return IsValidUtf8(out) ? out : std::string(rest);
}

std::span<const ImService> ImServices() { return kServices; }

const ImService* ImServiceByProperty(std::string_view property) {
    for (const auto& s : kServices)
        if ((!s.property.empty() && s.property == property) || (!s.altProperty.empty() && s.altProperty == property))
            return &s;
    return nullptr;
}

const ImService* ImServiceByScheme(std::string_view scheme) {
    for (const auto& s : kServices)
        if (EqualsNoCase(s.scheme, scheme) || (!s.altScheme.empty() && EqualsNoCase(s.altScheme, scheme))) return &s;
    return nullptr;
}

const ImService* ImServiceByServiceType(std::string_view serviceType) {
    for (const auto& s : kServices)
        if (EqualsNoCase(s.serviceType, serviceType) || EqualsNoCase(s.protocol, serviceType)) return &s;
    return nullptr;
}

const ImService* ImServiceByProtocol(std::string_view protocol) {
    for (const auto& s : kServices)
        if (EqualsNoCase(s.protocol, protocol)) return &s;
    return nullptr;
}

std::string_view PlaceType(Place place) {
    switch (place) {
        case Place::Home:
            return "home";
        case Place::Work:
            return "work";
        case Place::Other:
            break;
    }
    return "";
}

std::string_view PhoneKindType(PhoneKind kind) {
    switch (kind) {
        case PhoneKind::Mobile:
            return "cell";
        case PhoneKind::Fax:
            return "fax";
        case PhoneKind::Pager:
            return "pager";
        case PhoneKind::Voice:
            break;
    }
    return "voice";
}

}  // namespace calyra::interchange
