// Tables of calls that must each fail the same way: the HRESULT, and the
// error ID reported through plErrorID.
//
//   const ErrorCall cases[] = {
//       {"count without out-pointer", [&](LONG* e) { return p->GetNumOfProfiles(e, nullptr); }},
//   };
//   ExpectEachFails(cases, E_INVALIDARG, PIMERR_INVALID_ARGUMENT);
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "platform/hresult.h"
#include "platform/types.h"

namespace calyra::test {

struct ErrorCall {
    const char* what;
    std::function<HRESULT(LONG*)> call;
};

// Each call returns `hr` and stores `errorId` into a plErrorID that held
// something else; a NULL plErrorID gives the same `hr`.
template <class Calls>
void ExpectEachFails(const Calls& calls, HRESULT hr, LONG errorId) {
    for (const ErrorCall& c : calls) {
        LONG err = 0x7777;
        EXPECT_EQ(c.call(&err), hr) << c.what;
        EXPECT_EQ(err, errorId) << c.what;
        EXPECT_EQ(c.call(nullptr), hr) << c.what << " (NULL plErrorID)";
    }
}

}  // namespace calyra::test
