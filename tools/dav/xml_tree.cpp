#include "dav/xml_tree.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <exception>
#include <memory>

#include "dav/dav_error.h"

namespace calyra::dav {
namespace {

// Separates the namespace URI from the local name in expat's names; a URI
// cannot hold a line feed.
constexpr char kSeparator = '\n';
constexpr size_t kMaxDepth = 64;

struct Builder {
    XML_Parser parser = nullptr;
    XmlElement root;
    std::vector<XmlElement*> open;  // path from the root to the element being read
    bool haveRoot = false;
    std::string failure;
    // Given: each child of the root goes here when complete, then is dropped.
    const std::function<void(XmlElement&)>* each = nullptr;
    std::exception_ptr thrown;  // by `each`; expat is C and must not see it
};

void SplitName(const char* full, XmlElement& e) {
    const std::string_view name(full);
    const size_t cut = name.find(kSeparator);
    if (cut == std::string_view::npos) {
        e.name = std::string(name);
    } else {
        e.ns = std::string(name.substr(0, cut));
        e.name = std::string(name.substr(cut + 1));
    }
}

void Stop(Builder* b, std::string why) {
    if (b->failure.empty()) b->failure = std::move(why);
    XML_StopParser(b->parser, XML_FALSE);
}

void OnStart(void* user, const XML_Char* name, const XML_Char** attributes) {
    auto* b = static_cast<Builder*>(user);
    if (b->open.size() >= kMaxDepth) return Stop(b, "elements nested too deeply");
    XmlElement* e;
    if (b->open.empty()) {
        e = &b->root;
        b->haveRoot = true;
    } else {
        XmlElement* parent = b->open.back();
        e = &parent->children.emplace_back();
    }
    SplitName(name, *e);
    for (size_t i = 0; attributes[i] && attributes[i + 1]; i += 2) {
        XmlElement scratch;
        SplitName(attributes[i], scratch);
        e->attributes.emplace_back(scratch.name, attributes[i + 1]);
    }
    b->open.push_back(e);
}

void OnEnd(void* user, const XML_Char*) {
    auto* b = static_cast<Builder*>(user);
    if (b->open.empty()) return;
    b->open.pop_back();
    if (!b->each || b->open.size() != 1 || b->thrown) return;
    // A child of the root is complete (the last one it holds).
    try {
        (*b->each)(b->root.children.back());
    } catch (...) {
        b->thrown = std::current_exception();
        XML_StopParser(b->parser, XML_FALSE);
    }
    b->root.children.pop_back();
}

void OnText(void* user, const XML_Char* text, int length) {
    auto* b = static_cast<Builder*>(user);
    if (!b->open.empty() && length > 0) b->open.back()->text.append(text, static_cast<size_t>(length));
}

void OnDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    Stop(static_cast<Builder*>(user), "a document type declaration (refused)");
}

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

}  // namespace

const XmlElement* XmlElement::find(std::string_view childNs, std::string_view childName) const {
    for (const XmlElement& c : children)
        if (c.is(childNs, childName)) return &c;
    return nullptr;
}

std::string XmlElement::childText(std::string_view childNs, std::string_view childName) const {
    const XmlElement* c = find(childNs, childName);
    return c ? TrimSpace(c->text) : std::string();
}

std::string XmlElement::attribute(std::string_view attributeName) const {
    for (const auto& [name, value] : attributes)
        if (name == attributeName) return value;
    return {};
}

struct XmlStreamParser::State {
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser;
    Builder b;
    std::function<void(XmlElement&)> each;
    std::string what;
    size_t fed = 0;  // bytes so far, to tell an empty body from a broken one

    // Throws what `each` threw, or the parse's failure.
    void check(XML_Status status) {
        if (b.thrown) std::rethrow_exception(b.thrown);
        if (status == XML_STATUS_OK && b.failure.empty()) return;
        std::string why = b.failure;
        if (why.empty())
            why = b.haveRoot || fed == 0 ? std::string(XML_ErrorString(XML_GetErrorCode(b.parser)))
                                         : std::string("no element");
        if (fed == 0) why = "an empty body";
        throw DavError(ErrorKind::Xml, what + " is not valid XML: " + why + " (line " +
                                           std::to_string(XML_GetCurrentLineNumber(b.parser)) + ")");
    }
};

XmlStreamParser::XmlStreamParser(std::string_view what, std::function<void(XmlElement& child)> each)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.what = std::string(what);
    s.each = std::move(each);
    s.parser.reset(XML_ParserCreateNS(nullptr, kSeparator));
    if (!s.parser) throw DavError(ErrorKind::Xml, s.what + ": out of memory");
    s.b.parser = s.parser.get();
    if (s.each) s.b.each = &s.each;
    XML_SetUserData(s.b.parser, &s.b);
    XML_SetElementHandler(s.b.parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(s.b.parser, OnText);
    XML_SetStartDoctypeDeclHandler(s.b.parser, OnDoctype);
}

XmlStreamParser::~XmlStreamParser() = default;

void XmlStreamParser::feed(std::string_view bytes) {
    // Fed in pieces: expat takes an int length.
    constexpr size_t kPiece = size_t{1} << 20;
    State& s = *m_state;
    while (!bytes.empty()) {
        const size_t n = std::min(kPiece, bytes.size());
        s.fed += n;
        s.check(XML_Parse(s.b.parser, bytes.data(), static_cast<int>(n), XML_FALSE));
        bytes.remove_prefix(n);
    }
}

XmlElement XmlStreamParser::finish() {
    State& s = *m_state;
    s.check(XML_Parse(s.b.parser, nullptr, 0, XML_TRUE));
    if (!s.b.haveRoot) {
        s.b.failure = "no element";
        s.check(XML_STATUS_ERROR);
    }
    return std::move(s.b.root);
}

XmlElement ParseXml(std::string_view bytes, std::string_view what) { return ParseXmlEach(bytes, what, nullptr); }

XmlElement ParseXmlEach(std::string_view bytes, std::string_view what,
                        const std::function<void(XmlElement& child)>& each) {
    XmlStreamParser parser(what, each);
    parser.feed(bytes);
    return parser.finish();
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string TrimSpace(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return std::string(text);
}

}  // namespace calyra::dav
