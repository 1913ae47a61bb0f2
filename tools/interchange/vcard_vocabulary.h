// The words vCard files use for the kinds of details, in one place for the
// reader and the writer: TYPE values for places and phone kinds, and the
// instant-messaging services with their URI schemes (IMPP, RFC 4770 and
// RFC 6350), the X- properties older programs write (X-AIM, X-JABBER,
// X-SKYPE ...) and the service names of the X-SERVICE-TYPE parameter.
//
// Thread-safety: constant tables and pure functions.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "interchange/contact_card.h"

namespace calyra::interchange {

struct ImService {
    std::string_view protocol;     // "jabber": what ContactCard keeps
    std::string_view scheme;       // "xmpp": the IMPP URI scheme written
    std::string_view property;     // "X-JABBER": the old property, if any
    std::string_view altProperty;  // a second old property name, if any
    std::string_view altScheme;    // a second scheme read, if any
    std::string_view serviceType;  // "Jabber": X-SERVICE-TYPE value
};

std::span<const ImService> ImServices();
// The service an old X- property stands for (upper-case name); nullptr if none.
const ImService* ImServiceByProperty(std::string_view property);
// The service of a URI scheme or X-SERVICE-TYPE name (any case); nullptr if none.
const ImService* ImServiceByScheme(std::string_view scheme);
const ImService* ImServiceByServiceType(std::string_view serviceType);
const ImService* ImServiceByProtocol(std::string_view protocol);

// Whether `text` starts with `scheme` and a colon, in any case ("tel", "mailto").
bool HasUriScheme(std::string_view text, std::string_view scheme);

// What follows the scheme of an IMPP URI for `address`: a '?' (a query), a
// leading "//" (an authority) and a '%' before two hex digits (an escape)
// are percent-encoded, so ImAddressFromUri gives `address` back.
std::string ImUriAddress(std::string_view address);
// The handle in what follows an IMPP URI's scheme: an authority's "//" and
// any query dropped, percent escapes decoded (kept as written when they do
// not decode to UTF-8).
std::string ImAddressFromUri(std::string_view rest);

// "home" and "work" TYPE values; everything else is Other.
std::string_view PlaceType(Place place);  // "home", "work" or ""

// "cell", "fax", "pager" or "voice".
std::string_view PhoneKindType(PhoneKind kind);

}  // namespace calyra::interchange
