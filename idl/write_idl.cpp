// calyra-idl-write: writes the type library's content (typelib.def) as
// MIDL text, calyra.idl, for a Windows build to compile with widl into the
// .tlb that Calyra.dll carries as its TYPELIB resource. The file is written
// at build time into the build folder and never checked in: typelib.def
// stays the one source.
//
//   calyra-idl-write FILE
//
// Everything goes inside the library block, so widl writes a type library
// and no headers: the component's C++ declarations come from calyra_idl.h.
// The widl include path must hold the system IDL files (oaidl.idl).
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "idl/generator_support.h"

namespace {

using calyra::idl_gen::Direction;
using calyra::idl_gen::Guid;
using calyra::idl_gen::GuidText;

// The MIDL spelling of a type as typelib.def writes it: the Windows scalar
// names become MIDL's base types, pointers stay pointers. void** (an
// interface of the caller's choosing) travels as IUnknown**.
std::string IdlType(std::string_view type) {
    static const std::map<std::string_view, std::string_view> kScalars = {{"LONG", "long"},
                                                                          {"ULONG", "unsigned long"},
                                                                          {"USHORT", "unsigned short"},
                                                                          {"LONGLONG", "hyper"},
                                                                          {"void", "IUnknown*"}};
    std::string_view base = type.substr(0, type.find('*'));
    std::string_view stars = type.substr(base.size());
    auto it = kScalars.find(base);
    std::string text(it == kScalars.end() ? base : it->second);
    if (base == "void" && !stars.empty()) stars.remove_prefix(1);
    return text + std::string(stars);
}

class Writer {
public:
    void Library(std::string_view name, int major, int minor, const Guid& guid) {
        m_head << "[\n    uuid(" << GuidText(guid) << "),\n    version(" << major << "." << minor << ")\n]\n"
               << "library " << name << "\n{\n    importlib(\"stdole2.tlb\");\n";
    }
    void EnumBegin(std::string_view name, const Guid& guid) {
        m_body << "\n    typedef [uuid(" << GuidText(guid) << ")] enum " << name << " {\n";
        m_first = true;
    }
    void EnumValue(std::string_view name, std::string_view value) {
        m_body << (m_first ? "" : ",\n") << "        " << name << " = " << value;
        m_first = false;
    }
    void EnumEnd(std::string_view name) { m_body << "\n    } " << name << ";\n"; }
    void RecordBegin(std::string_view name, const Guid& guid) {
        m_body << "\n    typedef [uuid(" << GuidText(guid) << ")] struct " << name << " {\n";
    }
    void Field(std::string_view type, std::string_view name) {
        m_body << "        " << IdlType(type) << " " << name << ";\n";
    }
    void RecordEnd(std::string_view name) { m_body << "    } " << name << ";\n"; }
    void InterfaceBegin(std::string_view name, const Guid& guid) {
        m_forward << "    interface " << name << ";\n";
        m_body << "\n    [\n        object,\n        uuid(" << GuidText(guid) << "),\n"
               << "        dual,\n        nonextensible,\n        oleautomation,\n        pointer_default(unique)\n"
               << "    ]\n    interface " << name << " : IDispatch\n    {\n";
        m_dispid = 0;
    }
    void Method(std::string_view name, const std::vector<std::string>& params) {
        m_body << "        [id(" << ++m_dispid << ")] HRESULT " << name << "([in, out] long* plErrorID";
        for (const std::string& p : params) m_body << ", " << p;
        m_body << ");\n";
    }
    void InterfaceEnd() { m_body << "    };\n"; }
    void CoClass(std::string_view name, std::string_view iface, const Guid& guid) {
        m_body << "\n    [uuid(" << GuidText(guid) << ")]\n    coclass " << name << "\n    {\n"
               << "        [default] interface " << iface << ";\n    };\n";
    }

    std::string Text() const {
        return "// GENERATED from idl/typelib.def by idl/write_idl.cpp at build time; do not edit.\n"
               "// The Calyra type library in MIDL, for widl to compile into calyra.tlb.\n\n"
               "// The automation types and IUnknown/IDispatch are the system's own: a\n"
               "// dual interface declared against anything else would place its methods\n"
               "// at the wrong virtual-table offsets in the library.\n"
               "import \"oaidl.idl\";\n\n" +
               m_head.str() + "\n" + m_forward.str() + m_body.str() + "};\n";
    }

private:
    std::ostringstream m_head, m_forward, m_body;
    int m_dispid = 0;
    bool m_first = true;
};

std::string Expand() {
    Writer w;
#define CALYRA_LIBRARY(name, major, minor, guid) w.Library(#name, major, minor, CALYRA_GUID_INIT guid);
#define CALYRA_ENUM_BEGIN(name, guid) w.EnumBegin(#name, CALYRA_GUID_INIT guid);
#define CALYRA_ENUM_VALUE(enumeration, name, value) w.EnumValue(#name, #value);
#define CALYRA_ENUM_END(name) w.EnumEnd(#name);
#define CALYRA_RECORD_BEGIN(name, guid) w.RecordBegin(#name, CALYRA_GUID_INIT guid);
#define CALYRA_FIELD(record, type, name) w.Field(#type, #name);
#define CALYRA_RECORD_END(name) w.RecordEnd(#name);
#define CALYRA_INTERFACE_BEGIN(name, guid) w.InterfaceBegin(#name, CALYRA_GUID_INIT guid);
#define CALYRA_METHOD(iface, name, params) w.Method(#name, {params});
#define CALYRA_PARAM(dir, type, name) Direction(#dir) + " " + IdlType(#type) + " " + #name,
#define CALYRA_PARAM_ARRAY(dir, record, name) Direction(#dir) + " SAFEARRAY(" #record ")* " #name,
#define CALYRA_INTERFACE_END(name) w.InterfaceEnd();
#define CALYRA_COCLASS(name, iface, guid, progID, versionIndependentProgID, description, threading) \
    w.CoClass(#name, #iface, CALYRA_GUID_INIT guid);
#include "idl/typelib_expand.h"
    return w.Text();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: calyra-idl-write FILE\n";
        return 2;
    }
    return calyra::idl_gen::WriteFile(argv[1], Expand());
}
