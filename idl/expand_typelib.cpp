// calyra-idl-expand: writes the type library's content (typelib.def) out as
// plain, readable C++, the file typelib_expanded.h, so that a reader (or
// grep) finds `struct tagContactInfo` with its fields, every enumeration
// with its values and every interface with its methods and DISPIDs.
//
//   calyra-idl-expand FILE          writes FILE
//   calyra-idl-expand --check FILE  exits 1, saying how to refresh it, when
//                                   FILE is not what it would write
//
// The component never compiles against the written file: calyra_idl.h
// expands the same content itself. The check runs as a test, so the
// checked-in copy cannot fall behind typelib.def unnoticed.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "idl/generator_support.h"

namespace {

constexpr std::size_t kMaxColumns = 120;

using calyra::idl_gen::Guid;

// The registry spelling, in braces.
std::string BracedGuidText(const Guid& g) { return "{" + calyra::idl_gen::GuidText(g) + "}"; }

struct Param {
    std::string_view dir;   // In, Out, InOut, RetVal
    std::string_view type;  // as written in typelib.def
    std::string_view name;
    std::string_view record;  // the element type of a record array; empty otherwise
};

std::string Annotated(const Param& p) {
    std::string dir = calyra::idl_gen::Direction(p.dir);
    if (!p.record.empty()) dir.insert(dir.size() - 1, ", SAFEARRAY(" + std::string(p.record) + ")");
    return "/*" + dir + "*/ " + std::string(p.type) + " " + std::string(p.name);
}

// Collects each kind of declaration in typelib.def's order and writes them
// grouped, the way calyra_idl.h declares them.
class Writer {
public:
    void Library(std::string_view name, int major, int minor, const Guid& guid) {
        m_library << "// library " << name << ", version " << major << "." << minor << "\n"
                  << "extern \"C\" const GUID LIBID_" << name << ";  // " << BracedGuidText(guid) << "\n";
    }
    void Error(std::string_view name, std::string_view value) {
        m_errors << "constexpr LONG " << name << " = " << value << ";\n";
    }
    void EnumBegin(std::string_view name, const Guid& guid) {
        m_enums << "\nextern \"C\" const GUID GUID_" << name << ";  // " << BracedGuidText(guid) << "\n"
                << "enum " << name << " : LONG {\n";
    }
    void EnumValue(std::string_view name, std::string_view value) {
        m_enums << "    " << name << " = " << value << ",\n";
    }
    void EnumEnd() { m_enums << "};\n"; }
    void RecordBegin(std::string_view name, const Guid& guid) {
        m_records << "\nextern \"C\" const GUID GUID_" << name << ";  // " << BracedGuidText(guid) << "\n"
                  << "struct " << name << " {\n";
    }
    void Field(std::string_view type, std::string_view name) { m_records << "    " << type << " " << name << ";\n"; }
    void RecordEnd() { m_records << "};\n"; }
    void InterfaceBegin(std::string_view name, const Guid& guid) {
        m_forward << "struct " << name << ";\n";
        m_interfaces << "\nextern \"C\" const IID IID_" << name << ";  // " << BracedGuidText(guid) << "\n"
                     << "struct " << name << " : IDispatch {\n";
        m_dispid = 0;
    }
    void Method(std::string_view name, const std::vector<Param>& params) {
        std::vector<std::string> texts = {"/*[in, out]*/ LONG* plErrorID"};
        for (const Param& p : params) texts.push_back(Annotated(p));
        // Parameters fill each line up to kMaxColumns; a continuation line
        // is indented by eight.
        const std::string head = "    STDMETHOD(" + std::string(name) + ")(";
        const std::string tail = ") = 0;  // DISPID " + std::to_string(++m_dispid);
        const std::string indent(12, ' ');
        std::string line = head;
        bool lineHasParam = false;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const bool last = i + 1 == texts.size();
            const std::string piece = texts[i] + (last ? tail : ",");
            if (lineHasParam && line.size() + 1 + piece.size() > kMaxColumns) {
                m_interfaces << line << "\n";
                line = indent;
            } else if (lineHasParam) {
                line += " ";
            }
            line += piece;
            lineHasParam = true;
        }
        m_interfaces << line << "\n";
    }
    void InterfaceEnd(std::string_view name) { m_interfaces << "\nprotected:\n    ~" << name << "() = default;\n};\n"; }
    void CoClass(std::string_view name, std::string_view iface, const Guid& guid, std::string_view progID,
                 std::string_view versionIndependentProgID, std::string_view description, std::string_view threading) {
        m_classes << "\n// " << name << " implements " << iface << "; ThreadingModel \"" << threading << "\",\n"
                  << "//   ProgID " << progID << ", version-independent " << versionIndependentProgID << ",\n"
                  << "//   description " << description << ".\n"
                  << "extern \"C\" const CLSID CLSID_" << name << ";  // " << BracedGuidText(guid) << "\n";
    }

    std::string Text() const {
        std::ostringstream out;
        out << "// GENERATED from idl/typelib.def by idl/expand_typelib.cpp; do not edit. Refresh it with\n"
               "//   cmake --build build --target calyra_idl_expanded\n"
               "// The Calyra type library written out as plain C++ for reading: what calyra_idl.h\n"
               "// declares by expanding typelib.def, in the same order, without the traits and checks.\n"
               "// Code includes idl/calyra_idl.h, never this file. DISPIDs count from 1 in slot order.\n"
               "#pragma once\n\n"
               "#include \"platform/bstr.h\"\n"
               "#include \"platform/guid.h\"\n"
               "#include \"platform/hresult.h\"\n"
               "#include \"platform/safearray.h\"\n"
               "#include \"platform/types.h\"\n"
               "#include \"platform/unknown.h\"\n\n"
               "// ---- Library -----------------------------------------------------------------\n"
            << m_library.str()
            << "\n// ---- Error IDs ---------------------------------------------------------------\n"
            << m_errors.str() << "\n// ---- Interfaces, declared ahead ---------------------------------------------\n"
            << m_forward.str() << "\n// ---- Enumerations ------------------------------------------------------------"
            << m_enums.str() << "\n// ---- Records -----------------------------------------------------------------"
            << m_records.str() << "\n// ---- Interfaces --------------------------------------------------------------"
            << m_interfaces.str()
            << "\n// ---- Classes -----------------------------------------------------------------" << m_classes.str();
        return out.str();
    }

private:
    std::ostringstream m_library, m_errors, m_forward, m_enums, m_records, m_interfaces, m_classes;
    int m_dispid = 0;
};

std::string Expand() {
    Writer w;
#define CALYRA_LIBRARY(name, major, minor, guid) w.Library(#name, major, minor, CALYRA_GUID_INIT guid);
#define CALYRA_ERROR(name, value) w.Error(#name, #value);
#define CALYRA_ENUM_BEGIN(name, guid) w.EnumBegin(#name, CALYRA_GUID_INIT guid);
#define CALYRA_ENUM_VALUE(enumeration, name, value) w.EnumValue(#name, #value);
#define CALYRA_ENUM_END(name) w.EnumEnd();
#define CALYRA_RECORD_BEGIN(name, guid) w.RecordBegin(#name, CALYRA_GUID_INIT guid);
#define CALYRA_FIELD(record, type, name) w.Field(#type, #name);
#define CALYRA_RECORD_END(name) w.RecordEnd();
#define CALYRA_INTERFACE_BEGIN(name, guid) w.InterfaceBegin(#name, CALYRA_GUID_INIT guid);
#define CALYRA_METHOD(iface, name, params) w.Method(#name, {params});
#define CALYRA_PARAM(dir, type, name) Param{#dir, #type, #name, ""},
#define CALYRA_PARAM_ARRAY(dir, record, name) Param{#dir, "SAFEARRAY**", #name, #record},
#define CALYRA_INTERFACE_END(name) w.InterfaceEnd(#name);
#define CALYRA_COCLASS(name, iface, guid, progID, versionIndependentProgID, description, threading) \
    w.CoClass(#name, #iface, CALYRA_GUID_INIT guid, #progID, #versionIndependentProgID, #description, #threading);
#include "idl/typelib_expand.h"
    return w.Text();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view usage = "usage: calyra-idl-expand [--check] FILE\n";
    bool check = argc == 3 && std::string_view(argv[1]) == "--check";
    if (argc != 2 + (check ? 1 : 0)) {
        std::cerr << usage;
        return 2;
    }
    const std::string path = argv[argc - 1];
    const std::string text = Expand();
    if (check) {
        if (ReadFile(path) == text) return 0;
        std::cerr << path << " is not what typelib.def expands to; refresh it with\n"
                  << "  cmake --build build --target calyra_idl_expanded\n";
        return 1;
    }
    return calyra::idl_gen::WriteFile(path, text);
}
