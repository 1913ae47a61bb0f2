// libcurl, loaded by the first call that needs it rather than when calyra
// starts. Linking libcurl brings some thirty libraries with it (TLS,
// Kerberos, LDAP, IDN, ...), and loading and relocating them cost every
// command about 5 ms of its start, though only the sync commands talk to a
// server. So nothing links libcurl: this file defines the libcurl entry
// points the DAV client calls, with libcurl's own declarations, and each
// loads the library once (dlopen) and forwards to it.
//
// When libcurl cannot be loaded, a call that needs it throws DavError
// naming the library and why, which reaches the person as the sync
// command's failure; a clean-up of nothing does nothing.
//
// Thread-safety: the library is loaded once, under std::call_once; the
// calls are libcurl's own.
// The entry points are defined here as functions, so libcurl's checking
// macros of the same names must stay out of the way.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <mutex>
#include <string>

#include "dav/dav_error.h"

namespace calyra::dav {
namespace {

// The library's stable name (its ABI has been version 4 since 2006).
constexpr const char* kCurlLibrary = "libcurl.so.4";

struct CurlLibrary {
    void* handle = nullptr;
    std::string failure;  // why it could not be loaded; empty when loaded
    CURLcode (*global_init)(long) = nullptr;
    CURL* (*easy_init)() = nullptr;
    void (*easy_cleanup)(CURL*) = nullptr;
    void (*easy_reset)(CURL*) = nullptr;
    CURLcode (*easy_perform)(CURL*) = nullptr;
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*easy_strerror)(CURLcode) = nullptr;
    curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
    void (*slist_free_all)(curl_slist*) = nullptr;
    void (*free)(void*) = nullptr;
    CURLU* (*url)() = nullptr;
    void (*url_cleanup)(CURLU*) = nullptr;
    decltype(&::curl_url_get) url_get = nullptr;
    decltype(&::curl_url_set) url_set = nullptr;
};

// The handle type curl_url_get takes: libcurl made it const in a later
// version, and a definition must match the header it is built against.
template <typename>
struct FirstParameter;
template <typename Result, typename First, typename... Rest>
struct FirstParameter<Result (*)(First, Rest...)> {
    using type = First;
};
using UrlGetHandle = FirstParameter<decltype(&::curl_url_get)>::type;

template <typename Function>
void Bind(CurlLibrary& lib, Function& slot, const char* name) {
    if (!lib.failure.empty()) return;
    if (void* symbol = dlsym(lib.handle, name))
        slot = reinterpret_cast<Function>(symbol);
    else
        lib.failure = std::string(kCurlLibrary) + " has no " + name;
}

CurlLibrary& Loaded() {
    static CurlLibrary lib;
    static std::once_flag once;
    std::call_once(once, [] {
        lib.handle = dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!lib.handle) {
            const char* why = dlerror();
            lib.failure = std::string("cannot load ") + kCurlLibrary + " (" + (why ? why : "not found") + ")";
            return;
        }
        Bind(lib, lib.global_init, "curl_global_init");
        Bind(lib, lib.easy_init, "curl_easy_init");
        Bind(lib, lib.easy_cleanup, "curl_easy_cleanup");
        Bind(lib, lib.easy_reset, "curl_easy_reset");
        Bind(lib, lib.easy_perform, "curl_easy_perform");
        Bind(lib, lib.easy_setopt, "curl_easy_setopt");
        Bind(lib, lib.easy_getinfo, "curl_easy_getinfo");
        Bind(lib, lib.easy_strerror, "curl_easy_strerror");
        Bind(lib, lib.slist_append, "curl_slist_append");
        Bind(lib, lib.slist_free_all, "curl_slist_free_all");
        Bind(lib, lib.free, "curl_free");
        Bind(lib, lib.url, "curl_url");
        Bind(lib, lib.url_cleanup, "curl_url_cleanup");
        Bind(lib, lib.url_get, "curl_url_get");
        Bind(lib, lib.url_set, "curl_url_set");
    });
    return lib;
}

// The library, or DavError saying why there is none.
CurlLibrary& Curl() {
    CurlLibrary& lib = Loaded();
    if (!lib.failure.empty()) throw DavError(ErrorKind::Transport, lib.failure);
    return lib;
}

// Whether the library is there to clean up after: nothing it handed out
// exists when it could not be loaded.
bool HasCurl() { return Loaded().failure.empty(); }

}  // namespace
}  // namespace calyra::dav

using calyra::dav::Curl;
using calyra::dav::HasCurl;
using calyra::dav::UrlGetHandle;

// libcurl's own definitions start their argument lists after an enum
// parameter, as these must to match its declarations; an enum of int size
// is passed as an int on every platform calyra builds for.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wvarargs"
#endif

extern "C" {

CURLcode curl_global_init(long flags) { return Curl().global_init(flags); }

CURL* curl_easy_init() { return Curl().easy_init(); }

void curl_easy_cleanup(CURL* handle) {
    if (handle && HasCurl()) Curl().easy_cleanup(handle);
}

void curl_easy_reset(CURL* handle) { Curl().easy_reset(handle); }

CURLcode curl_easy_perform(CURL* handle) { return Curl().easy_perform(handle); }

// An option's number tells the type of its one argument, as libcurl's own
// headers define the ranges.
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    auto& lib = Curl();
    va_list args;
    va_start(args, option);
    CURLcode code;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        code = lib.easy_setopt(handle, option, va_arg(args, long));
    } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
        code = lib.easy_setopt(handle, option, va_arg(args, void*));
    } else if (option < CURLOPTTYPE_OFF_T) {
        using AnyFunction = void (*)();
        code = lib.easy_setopt(handle, option, va_arg(args, AnyFunction));
    } else if (option < CURLOPTTYPE_BLOB) {
        code = lib.easy_setopt(handle, option, va_arg(args, curl_off_t));
    } else {
        code = lib.easy_setopt(handle, option, va_arg(args, void*));
    }
    va_end(args);
    return code;
}

// Every piece of information is written through the one pointer given.
CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    auto& lib = Curl();
    va_list args;
    va_start(args, info);
    void* target = va_arg(args, void*);
    va_end(args);
    return lib.easy_getinfo(handle, info, target);
}

const char* curl_easy_strerror(CURLcode code) { return Curl().easy_strerror(code); }

curl_slist* curl_slist_append(curl_slist* list, const char* text) { return Curl().slist_append(list, text); }

void curl_slist_free_all(curl_slist* list) {
    if (list && HasCurl()) Curl().slist_free_all(list);
}

void curl_free(void* p) {
    if (p && HasCurl()) Curl().free(p);
}

CURLU* curl_url() { return Curl().url(); }

void curl_url_cleanup(CURLU* handle) {
    if (handle && HasCurl()) Curl().url_cleanup(handle);
}

CURLUcode curl_url_get(UrlGetHandle handle, CURLUPart what, char** part, unsigned int flags) {
    return Curl().url_get(handle, what, part, flags);
}

CURLUcode curl_url_set(CURLU* handle, CURLUPart what, const char* part, unsigned int flags) {
    return Curl().url_set(handle, what, part, flags);
}

}  // extern "C"
