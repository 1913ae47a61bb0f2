// Per-thread locale values.
#include "platform/system/thread_locale.h"

namespace {

constexpr LCID kUserDefaultLocale = 0x0400;  // LOCALE_USER_DEFAULT
thread_local LCID t_locale = kUserDefaultLocale;

}  // namespace

extern "C" LCID GetThreadLocale() { return t_locale; }

extern "C" BOOL SetThreadLocale(LCID Locale) {
    t_locale = Locale;
    return TRUE;
}
