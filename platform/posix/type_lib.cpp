// Type libraries over compiled descriptions: ITypeLib and ITypeInfo
// objects, the in-process table of registered libraries behind
// LoadRegTypeLib, and the ways from a type to its record info.
#include "platform/type_lib.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/system/module_object.h"
#include "platform/system/record_info_internal.h"
#include "platform/system/registry.h"

extern "C" const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace calyra {
namespace {

// One type of a library. Types are numbered records first, then
// interfaces, enumerations and classes, each in description order.
struct TypeEntry {
    TYPEKIND kind = TKIND_RECORD;
    const char* name = nullptr;
    const GUID* guid = nullptr;  // NULL for a type without an identifier
    const RecordDesc* record = nullptr;
    const InterfaceDesc* iface = nullptr;
    const EnumDesc* enumeration = nullptr;
};

size_t TypeCount(const TypeLibDesc* lib) {
    return lib->recordCount + lib->interfaceCount + lib->enumCount + lib->coclassCount;
}

bool EntryAt(const TypeLibDesc* lib, size_t index, TypeEntry* entry) {
    *entry = TypeEntry{};
    if (index < lib->recordCount) {
        const RecordDesc* record = lib->records[index];
        *entry = {TKIND_RECORD, record->name, record->guid, record, nullptr, nullptr};
        return true;
    }
    index -= lib->recordCount;
    if (index < lib->interfaceCount) {
        // The component's interfaces are dual; a dual interface's type is
        // reached through its dispatch side.
        const InterfaceDesc* iface = lib->interfaces[index];
        *entry = {TKIND_DISPATCH, iface->name, iface->iid, nullptr, iface, nullptr};
        return true;
    }
    index -= lib->interfaceCount;
    if (index < lib->enumCount) {
        const EnumDesc* enumeration = lib->enums[index];
        *entry = {TKIND_ENUM, enumeration->name, enumeration->guid, nullptr, nullptr, enumeration};
        return true;
    }
    index -= lib->enumCount;
    if (index < lib->coclassCount) {
        const CoClassDesc& coclass = lib->coclasses[index];
        *entry = {TKIND_COCLASS, coclass.name, coclass.clsid, nullptr, nullptr, nullptr};
        return true;
    }
    return false;
}

// S_OK when every part the loader and the record infos read is present.
HRESULT ValidateTypeLibDesc(const TypeLibDesc* lib) {
    if (!lib) return E_POINTER;
    if (!lib->name || !lib->libid) return E_INVALIDARG;
    if ((lib->recordCount && !lib->records) || (lib->interfaceCount && !lib->interfaces) ||
        (lib->enumCount && !lib->enums) || (lib->coclassCount && !lib->coclasses)) {
        return E_INVALIDARG;
    }
    if (lib->recordCount > std::numeric_limits<UINT>::max() || lib->interfaceCount > std::numeric_limits<UINT>::max() ||
        lib->enumCount > std::numeric_limits<UINT>::max() || lib->coclassCount > std::numeric_limits<UINT>::max() ||
        TypeCount(lib) > std::numeric_limits<UINT>::max()) {
        return E_INVALIDARG;
    }
    for (size_t i = 0; i < lib->recordCount; ++i) {
        if (FAILED(record_info_internal::ValidateRecordDesc(lib->records[i]))) return E_INVALIDARG;
    }
    for (size_t i = 0; i < lib->interfaceCount; ++i) {
        const InterfaceDesc* iface = lib->interfaces[i];
        if (!iface || !iface->name || !iface->iid) return E_INVALIDARG;
    }
    for (size_t i = 0; i < lib->enumCount; ++i) {
        const EnumDesc* enumeration = lib->enums[i];
        if (!enumeration || !enumeration->name) return E_INVALIDARG;
    }
    for (size_t i = 0; i < lib->coclassCount; ++i) {
        if (!lib->coclasses[i].name || !lib->coclasses[i].clsid) return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT NameToBstr(const char* name, BSTR* pbstrName) {
    if (!pbstrName) return E_INVALIDARG;
    *pbstrName = nullptr;
    try {
        *pbstrName = Bstr::FromUtf8(name).Detach();
    } catch (const OutOfMemory& e) {
        return e.hr;
    }
    return S_OK;
}

// One type of a library. Immutable; the count changes atomically.
class TypeInfo final : public ModuleObject<ITypeInfo> {
public:
    TypeInfo(ITypeLib* lib, UINT index, const TypeEntry& entry) : m_lib(lib), m_index(index), m_entry(entry) {
        m_lib->AddRef();
    }

    STDMETHODIMP GetTypeKind(TYPEKIND* pTypeKind) override {
        if (!pTypeKind) return E_INVALIDARG;
        *pTypeKind = m_entry.kind;
        return S_OK;
    }
    STDMETHODIMP GetGuid(GUID* pguid) override {
        if (!pguid) return E_INVALIDARG;
        *pguid = m_entry.guid ? *m_entry.guid : GUID_NULL;
        return S_OK;
    }
    STDMETHODIMP GetName(BSTR* pbstrName) override { return NameToBstr(m_entry.name, pbstrName); }
    // Either output may be NULL when the caller needs only the other.
    STDMETHODIMP GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override {
        if (pIndex) *pIndex = m_index;
        if (ppTLib) {
            m_lib->AddRef();
            *ppTLib = m_lib;
        }
        return S_OK;
    }
    // Outputs the caller passes as NULL are skipped. A class has no
    // description here: all outputs become NULL.
    STDMETHODIMP GetDescription(const RecordDesc** ppRecord, const InterfaceDesc** ppInterface,
                                const EnumDesc** ppEnum) override {
        if (ppRecord) *ppRecord = m_entry.record;
        if (ppInterface) *ppInterface = m_entry.iface;
        if (ppEnum) *ppEnum = m_entry.enumeration;
        return S_OK;
    }

private:
    ~TypeInfo() override { m_lib->Release(); }

    ITypeLib* const m_lib;    // Constant after construction; one reference held
    const UINT m_index;       // Constant after construction
    const TypeEntry m_entry;  // Constant after construction; points into static storage
};

// A library over its compiled description. Immutable; type infos are made
// on demand and each holds a reference back to the library.
class TypeLib final : public ModuleObject<ITypeLib> {
public:
    explicit TypeLib(const TypeLibDesc* desc) : m_desc(desc) {}

    STDMETHODIMP_(UINT) GetTypeInfoCount() override { return static_cast<UINT>(TypeCount(m_desc)); }
    STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_INVALIDARG;
        *ppTInfo = nullptr;
        TypeEntry entry;
        if (!EntryAt(m_desc, index, &entry)) return TYPE_E_ELEMENTNOTFOUND;
        return MakeTypeInfo(index, entry, ppTInfo);
    }
    STDMETHODIMP GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (guid == GUID_NULL) return TYPE_E_ELEMENTNOTFOUND;
        TypeEntry entry;
        for (UINT i = 0; EntryAt(m_desc, i, &entry); ++i) {
            if (entry.guid && *entry.guid == guid) return MakeTypeInfo(i, entry, ppTInfo);
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHODIMP GetLibGuid(GUID* pguid) override {
        if (!pguid) return E_INVALIDARG;
        *pguid = *m_desc->libid;
        return S_OK;
    }
    STDMETHODIMP GetDescription(const TypeLibDesc** ppDesc) override {
        if (!ppDesc) return E_INVALIDARG;
        *ppDesc = m_desc;
        return S_OK;
    }

private:
    ~TypeLib() override = default;

    HRESULT MakeTypeInfo(UINT index, const TypeEntry& entry, ITypeInfo** ppTInfo) {
        auto* info = new (std::nothrow) TypeInfo(this, index, entry);
        if (!info) return E_OUTOFMEMORY;
        *ppTInfo = info;
        return S_OK;
    }

    const TypeLibDesc* const m_desc;  // Constant after construction; static storage
};

HRESULT WrapDescription(const TypeLibDesc* desc, ITypeLib** pptlib) {
    auto* lib = new (std::nothrow) TypeLib(desc);
    if (!lib) return E_OUTOFMEMORY;
    *pptlib = lib;
    return S_OK;
}

// The libraries registered in this process.
class TypeLibTable {
public:
    static TypeLibTable& Instance() {
        static TypeLibTable table;
        return table;
    }

    HRESULT Add(const TypeLibDesc* desc) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const TypeLibDesc* known : m_libraries) {
            if (known == desc) return S_OK;
        }
        try {
            m_libraries.push_back(desc);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // The library with this identifier and major version whose minor
    // version is the highest at or above `minor`; NULL when there is none.
    const TypeLibDesc* Find(REFGUID libid, WORD major, WORD minor) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const TypeLibDesc* best = nullptr;
        for (const TypeLibDesc* lib : m_libraries) {
            if (*lib->libid != libid || lib->majorVersion != major || lib->minorVersion < minor) continue;
            if (!best || lib->minorVersion > best->minorVersion) best = lib;
        }
        return best;
    }

    void Remove(const TypeLibDesc* desc) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::erase(m_libraries, desc);
    }

private:
    std::mutex m_mutex;
    std::vector<const TypeLibDesc*> m_libraries;  // Guarded by m_mutex; each validated before it is added
};

// The module the registry names for a library version that fits, or an
// empty text. Versions are keys "<major>.<minor>" in hexadecimal.
std::string RegisteredModulePath(REFGUID libid, WORD major, WORD minor) {
    std::shared_ptr<const RegistryKey> root;
    if (ReadRegistry(&root) != ERROR_SUCCESS) return {};
    OLECHAR guidText[39];
    StringFromGUID2(libid, guidText, 39);
    const RegistryKey* library = root->FindPath({u"TypeLib", std::u16string(guidText, 38)});
    if (!library) return {};
    const std::u16string* best = nullptr;
    unsigned long bestMinor = 0;
    for (const RegistryKey* version : library->Subkeys()) {
        std::string text = Utf16ToUtf8(version->name());
        char* end = nullptr;
        unsigned long maj = std::strtoul(text.c_str(), &end, 16);
        if (!end || *end != '.') continue;
        unsigned long min = std::strtoul(end + 1, &end, 16);
        if (*end != '\0' || maj != major || min < minor || (best && min <= bestMinor)) continue;
        const RegistryKey* win32 = version->FindPath({u"0", u"win32"});
        const std::u16string* path = win32 ? win32->Value(u"") : nullptr;
        if (!path || path->empty()) continue;
        best = path;
        bestMinor = min;
    }
    return best ? Utf16ToUtf8(*best) : std::string();
}

// Where LoadRegTypeLib looks for a library: every source it consults
// belongs here, and only here. First the libraries this process already
// carries; then the registry, whose module carries the library and makes
// it known when it is loaded. Loaded modules stay loaded, as the runtime
// keeps the modules it loads for classes.
const TypeLibDesc* FindRegisteredTypeLib(REFGUID libid, WORD major, WORD minor) {
    if (const TypeLibDesc* desc = TypeLibTable::Instance().Find(libid, major, minor)) return desc;
    std::string path = RegisteredModulePath(libid, major, minor);
    if (path.empty() || !::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return nullptr;
    return TypeLibTable::Instance().Find(libid, major, minor);
}

}  // namespace

HRESULT RegisterTypeLibDescription(const TypeLibDesc* desc) {
    HRESULT hr = ValidateTypeLibDesc(desc);
    if (FAILED(hr)) return hr;
    return TypeLibTable::Instance().Add(desc);
}

void UnregisterTypeLibDescription(const TypeLibDesc* desc) { TypeLibTable::Instance().Remove(desc); }

HRESULT CreateTypeLibFromDescription(const TypeLibDesc* desc, ITypeLib** pptlib) {
    if (!pptlib) return E_POINTER;
    *pptlib = nullptr;
    HRESULT hr = ValidateTypeLibDesc(desc);
    if (FAILED(hr)) return hr;
    return WrapDescription(desc, pptlib);
}

}  // namespace calyra

extern "C" {

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID /*lcid: one library serves every locale*/,
                       ITypeLib** pptlib) {
    if (!pptlib) return E_INVALIDARG;
    *pptlib = nullptr;
    const calyra::TypeLibDesc* desc = calyra::FindRegisteredTypeLib(rguid, wVerMajor, wVerMinor);
    if (!desc) return TYPE_E_LIBNOTREGISTERED;
    // Registration checked the description already.
    return calyra::WrapDescription(desc, pptlib);
}

HRESULT GetRecordInfoFromTypeInfo(ITypeInfo* pTypeInfo, IRecordInfo** ppRecInfo) {
    if (!ppRecInfo) return E_INVALIDARG;
    *ppRecInfo = nullptr;
    if (!pTypeInfo) return E_INVALIDARG;
    const calyra::RecordDesc* record = nullptr;
    HRESULT hr = pTypeInfo->GetDescription(&record, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    if (!record) return TYPE_E_ELEMENTNOTFOUND;
    return calyra::record_info_internal::CreateRecordInfoOfType(record, pTypeInfo, ppRecInfo);
}

HRESULT GetRecordInfoFromGuids(REFGUID rGuidTypeLib, ULONG uVerMajor, ULONG uVerMinor, LCID lcid, REFGUID rGuidTypeInfo,
                               IRecordInfo** ppRecInfo) {
    if (!ppRecInfo) return E_INVALIDARG;
    *ppRecInfo = nullptr;
    if (uVerMajor > std::numeric_limits<WORD>::max() || uVerMinor > std::numeric_limits<WORD>::max()) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadRegTypeLib(rGuidTypeLib, static_cast<WORD>(uVerMajor), static_cast<WORD>(uVerMinor), lcid, &lib);
    if (FAILED(hr)) return hr;
    ITypeInfo* type = nullptr;
    hr = lib->GetTypeInfoOfGuid(rGuidTypeInfo, &type);
    lib->Release();
    if (FAILED(hr)) return hr;
    hr = GetRecordInfoFromTypeInfo(type, ppRecInfo);
    type->Release();
    return hr;
}

}  // extern "C"
