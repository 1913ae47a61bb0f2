#include "session/client_error.h"

#include <fmt/format.h>

#include "idl/calyra_idl.h"
#include "idl/typelib_description.h"
#include "platform/com_runtime.h"

namespace calyra::cli {
namespace {

// What each error ID means to a person, in the type library's order; its
// name comes from the library's description, and the check below stops a
// new ID from going without words.
struct ErrorIdWords {
    LONG value;
    const char* words;
};
constexpr ErrorIdWords kErrorIdWords[] = {
    {PIMERR_UNEXPECTED, "unexpected failure"},          {PIMERR_INVALID_ARGUMENT, "invalid argument"},
    {PIMERR_OPEN_FAILED, "cannot open the database"},   {PIMERR_NOT_CONNECTED, "no open database"},
    {PIMERR_EXECUTE_FAILED, "the statement failed"},    {PIMERR_QUERY_FAILED, "the query failed"},
    {PIMERR_FREE_FAILED, "cannot free the result set"}, {PIMERR_CREATE_FAILED, "cannot create the object"},
};

constexpr bool EveryErrorIdHasWords() {
    if (std::size(kErrorIdWords) != std::size(kErrorIdDescriptions)) return false;
    for (std::size_t i = 0; i < std::size(kErrorIdWords); ++i)
        if (kErrorIdWords[i].value != kErrorIdDescriptions[i].value) return false;
    return true;
}
static_assert(EveryErrorIdHasWords(), "every error ID of the type library needs its words, in the library's order");

const EnumValueDesc* FindErrorId(LONG errorId) {
    for (const EnumValueDesc& e : kErrorIdDescriptions)
        if (e.value == errorId) return &e;
    return nullptr;
}

constexpr struct {
    HRESULT value;
    const char* name;
    const char* words;
} kHresults[] = {
    {E_INVALIDARG, "E_INVALIDARG", "invalid argument"},
    {E_FAIL, "E_FAIL", "failed"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory"},
    {E_POINTER, "E_POINTER", "missing pointer"},
    {E_NOTIMPL, "E_NOTIMPL", "not implemented"},
    {E_NOINTERFACE, "E_NOINTERFACE", "interface not supported"},
    {E_UNEXPECTED, "E_UNEXPECTED", "unexpected failure"},
    {E_ACCESSDENIED, "E_ACCESSDENIED", "access denied"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "class not registered"},
    {REGDB_E_READREGDB, "REGDB_E_READREGDB", "cannot read the registry"},
    {REGDB_E_WRITEREGDB, "REGDB_E_WRITEREGDB", "cannot write the registry"},
    {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND", "component module not found"},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL", "component module cannot be loaded"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE", "class not available"},
    {S_FALSE, "S_FALSE", "nothing done"},
};

}  // namespace

std::string HresultName(HRESULT hr) {
    for (const auto& h : kHresults)
        if (h.value == hr) return h.name;
    return fmt::format("0x{:08X}", static_cast<ULONG>(hr));
}

std::string ErrorIdName(LONG errorId) {
    if (const EnumValueDesc* e = FindErrorId(errorId)) return e->name;
    return fmt::format("0x{:X}", static_cast<ULONG>(errorId));
}

std::string DescribeFailure(HRESULT hr, LONG errorId) {
    if (errorId != 0) {
        for (const ErrorIdWords& e : kErrorIdWords)
            if (e.value == errorId)
                return fmt::format("{} (0x{:X}, {})", e.words, static_cast<ULONG>(errorId), HresultName(hr));
        return fmt::format("error 0x{:X} ({})", static_cast<ULONG>(errorId), HresultName(hr));
    }
    for (const auto& h : kHresults)
        if (h.value == hr) return fmt::format("{} ({})", h.words, h.name);
    return fmt::format("failed ({})", HresultName(hr));
}

void Check(HRESULT hr, const LONG& errorId, const std::string& what) {
    if (FAILED(hr))
        throw ClientError(what + ": " + DescribeFailure(hr, errorId), 1,
                          errorId == PIMERR_EXECUTE_FAILED || errorId == PIMERR_QUERY_FAILED);
}

}  // namespace calyra::cli
