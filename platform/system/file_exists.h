// File-existence test for a path given as UTF-16 text.
#pragma once

#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
extern "C" {
// INVALID_FILE_ATTRIBUTES when nothing exists at the path.
DWORD GetFileAttributesW(LPCWSTR lpFileName);
}
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
#endif  // _WIN32

namespace calyra {
bool FileExists(LPCWSTR path);
}
