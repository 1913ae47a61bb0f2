// XML as the DAV client reads and writes it. Responses are parsed by expat
// with namespaces on, into a small tree whose elements carry their
// namespace URI and local name, so "D:href", "d:href" and an unprefixed
// href under xmlns="DAV:" are the same element. Requests are written as
// text with every value escaped by XmlEscape.
//
// A document type declaration is refused (no entity can expand), and
// nesting is limited; a body that is not well-formed XML is a
// DavError(Xml) naming the operation and the line.
//
// Ownership: the tree owns its elements; pointers returned by find() live
// as long as the tree. Thread-safety: values; parsing is reentrant.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace calyra::dav {

inline constexpr std::string_view kDavNs = "DAV:";
inline constexpr std::string_view kCardDavNs = "urn:ietf:params:xml:ns:carddav";
inline constexpr std::string_view kCalDavNs = "urn:ietf:params:xml:ns:caldav";
inline constexpr std::string_view kCalendarServerNs = "http://calendarserver.org/ns/";

struct XmlElement {
    std::string ns;                                               // namespace URI, empty when none
    std::string name;                                             // local name
    std::vector<std::pair<std::string, std::string>> attributes;  // local names
    std::string text;                                             // the character data directly inside, untrimmed
    std::vector<XmlElement> children;

    bool is(std::string_view elementNs, std::string_view elementName) const {
        return ns == elementNs && name == elementName;
    }
    // The first child of that name, or null.
    const XmlElement* find(std::string_view childNs, std::string_view childName) const;
    // The first child's text with surrounding white space removed, or "".
    std::string childText(std::string_view childNs, std::string_view childName) const;
    std::string attribute(std::string_view attributeName) const;
};

// Parses a whole document. `what` names it in errors ("PROPFIND response").
XmlElement ParseXml(std::string_view bytes, std::string_view what);

// Parses a whole document as ParseXml does, but hands each child of the
// root to `each` once it is complete and then drops it, so a long answer
// (a multistatus of thousands of responses) is never held whole. Returns
// the root without those children. What `each` throws ends the parse.
XmlElement ParseXmlEach(std::string_view bytes, std::string_view what,
                        const std::function<void(XmlElement& child)>& each);

// ParseXmlEach fed as the bytes arrive (an HTTP body, piece by piece), so
// the document itself is never held either. feed() throws the same
// DavError(Xml) as soon as the bytes read so far are not well-formed, and
// what `each` throws; finish() checks the end and returns the root without
// the children handed over. The parser copies `each`.
class XmlStreamParser {
public:
    XmlStreamParser(std::string_view what, std::function<void(XmlElement& child)> each);
    ~XmlStreamParser();
    XmlStreamParser(const XmlStreamParser&) = delete;
    XmlStreamParser& operator=(const XmlStreamParser&) = delete;

    void feed(std::string_view bytes);
    XmlElement finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Text and attribute values for XML written by hand: & < > " ' escaped.
std::string XmlEscape(std::string_view text);

std::string TrimSpace(std::string_view text);

}  // namespace calyra::dav
