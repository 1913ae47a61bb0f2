// What the two type-library generators (calyra-idl-expand and
// calyra-idl-write) share: the GUID as typelib.def hands it over and its
// registry spelling, the MIDL attribute of a parameter direction, and
// writing the generated text to its file. Header-only, for the two build
// tools; nothing here is part of the component. Free functions, no state.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace calyra::idl_gen {

// A GUID as CALYRA_GUID_INIT spells it.
struct Guid {
    unsigned long l;
    unsigned w1, w2;
    unsigned char b[8];
};

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case, without braces.
inline std::string GuidText(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.l, g.w1, g.w2, g.b[0],
                  g.b[1], g.b[2], g.b[3], g.b[4], g.b[5], g.b[6], g.b[7]);
    return text;
}

// typelib.def's In, Out, InOut and RetVal as MIDL attributes.
inline std::string Direction(std::string_view dir) {
    return dir == "In" ? "[in]" : dir == "Out" ? "[out]" : dir == "InOut" ? "[in, out]" : "[out, retval]";
}

// Replaces the file at `path` with `text`; the tool's exit code (0, or 1 when
// the file could not be written).
inline int WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return out.flush() ? 0 : 1;
}

}  // namespace calyra::idl_gen
