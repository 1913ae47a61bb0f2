#include "shell/date_text.h"

#include <string>

#include "shell/client_error.h"

namespace calyra::cli {

DATE ParseIsoDate(std::string_view text) {
    auto d = TryParseIsoDate(text);
    if (!d)
        throw ClientError("not a date: \"" + std::string(text) + "\" (use YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], UTC)",
                          2);
    return *d;
}

}  // namespace calyra::cli
