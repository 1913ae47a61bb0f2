// The full path of the loaded module (shared library, DLL or program) that
// holds a given address: what a component writes into the registry as its
// InprocServer32 and type-library path.
//
// The text handed out is the caller's. Thread-safe: it only asks the
// loader.
#pragma once

#include <string>

#include "platform/hresult.h"

namespace calyra {

// E_UNEXPECTED when no loaded module holds the address.
HRESULT ModulePathOf(const void* address, std::u16string* path);

}  // namespace calyra
