// File-existence test.
#include "platform/system/file_exists.h"

#ifndef _WIN32  // Windows has its own
#include <string>

#include <sys/stat.h>

#include "platform/bstr.h"

extern "C" DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    if (!lpFileName || !*lpFileName) return INVALID_FILE_ATTRIBUTES;
    std::string path = calyra::Utf16ToUtf8(lpFileName);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}
#endif  // _WIN32

namespace calyra {
bool FileExists(LPCWSTR path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }
}  // namespace calyra
