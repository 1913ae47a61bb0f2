// File-existence test for a path given as UTF-16 text.
#pragma once

#include "platform/types.h"

extern "C" {
// INVALID_FILE_ATTRIBUTES when nothing exists at the path.
DWORD GetFileAttributesW(LPCWSTR lpFileName);
}
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

namespace calyra {
bool FileExists(LPCWSTR path);
}
