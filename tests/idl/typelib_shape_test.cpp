// The shape of the type library as compiled clients and scripts see it:
// the calling convention every method follows, and a frozen fingerprint of
// every interface (method order = DISPIDs, parameter names, directions and
// automation types), record (field order and types) and enumeration
// (names and values). That DISPIDs are slot positions and that dispatch
// reaches each method is swept over live objects in
// tests/access/every_interface_test.cpp; the look-ups that find a
// description are in typelib_types_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "idl/typelib_description.h"

namespace calyra {
namespace {

// The calling convention every method follows (plErrorID first, a RetVal
// only last, the record or interface each form carries) is part of the
// frozen shape.
std::string Dump(const InterfaceDesc& iface) {
    std::string text;
    for (size_t m = 0; m < iface.methodCount; ++m) {
        const MethodDesc& method = iface.methods[m];
        text += std::to_string(method.dispid) + " " + method.name + "(";
        for (size_t p = 0; p < method.paramCount; ++p) {
            const ParamDesc& param = method.params[p];
            text += std::to_string(static_cast<int>(param.dir)) + ":" + std::to_string(param.vt) + ":" + param.name;
            if (param.record) text += std::string(":") + param.record->name;
            if (param.iid) text += std::string(":") + FindInterfaceDescription(*param.iid)->name;
            text += ",";
        }
        text += ");\n";
    }
    return text;
}
std::string Dump(const RecordDesc& record) {
    std::string text;
    for (size_t f = 0; f < record.fieldCount; ++f) {
        const FieldDesc& field = record.fields[f];
        text += std::string(field.name) + ":" + std::to_string(field.vt) +
                (field.record ? std::string(":") + field.record->name : std::string()) + ";";
    }
    return text;
}
std::string Dump(const EnumDesc& enumeration) {
    std::string text;
    for (size_t v = 0; v < enumeration.valueCount; ++v)
        text += std::string(enumeration.values[v].name) + "=" + std::to_string(enumeration.values[v].value) + ";";
    return text;
}

uint64_t Fingerprint(const std::string& text) {
    uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3u;
    return hash;
}

// Name and fingerprint per line, read from tests/data so the frozen values sit apart from the code.
std::map<std::string, uint64_t> PinnedFingerprints() {
    std::ifstream in(std::filesystem::path(CALYRA_TEST_DATA_DIR) / "typelib_fingerprints.txt");
    std::map<std::string, uint64_t> pinned;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            pinned[line.substr(0, line.find(' '))] = std::stoull(line.substr(line.find(' ')), nullptr, 16);
    return pinned;
}

// FROZEN: compiled clients call methods by vtable slot and scripts by
// DISPID, and both lay out records and store enumeration values as
// published. A changed fingerprint means such a client now reaches another
// method, field or value; only a new library version may change one.
TEST(TypeLibShape, EveryInterfaceRecordAndEnumerationKeepsItsPublishedShape) {
    const std::map<std::string, uint64_t> pinned = PinnedFingerprints();
    ASSERT_FALSE(pinned.empty()) << "cannot read typelib_fingerprints.txt";
    const TypeLibDesc& lib = CalyraTypeLibDescription();
    std::map<std::string, std::string> shapes;
    for (size_t i = 0; i < lib.interfaceCount; ++i) shapes[lib.interfaces[i]->name] = Dump(*lib.interfaces[i]);
    for (size_t i = 0; i < lib.recordCount; ++i) shapes[lib.records[i]->name] = Dump(*lib.records[i]);
    for (size_t i = 0; i < lib.enumCount; ++i) shapes[lib.enums[i]->name] = Dump(*lib.enums[i]);
    EXPECT_EQ(shapes.size(), pinned.size()) << "a type was added or removed";
    for (const auto& [name, shape] : shapes) {
        auto it = pinned.find(name);
        EXPECT_TRUE(it != pinned.end() && it->second == Fingerprint(shape))
            << name << " no longer has its published shape (fingerprint 0x" << std::hex << Fingerprint(shape)
            << "); it now reads:\n"
            << shape;
    }
}

}  // namespace
}  // namespace calyra
