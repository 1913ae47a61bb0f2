// What the client says when something fails, and the exception that carries
// it to main(): one line, naming the component's error ID and HRESULT in
// words ("invalid argument (0x5002, E_INVALIDARG)").
//
// Thread-safety: free functions without shared state.
#pragma once

#include <stdexcept>
#include <string>
#include <type_traits>

#include "platform/hresult.h"
#include "platform/types.h"

namespace calyra::cli {

// A failure the client reports on one line and exits non-zero for. `status`
// is the exit status: 1 for failed work, 2 for a bad command line.
class ClientError : public std::runtime_error {
public:
    explicit ClientError(const std::string& what, int status = 1, bool fromDatabase = false)
        : std::runtime_error(what), m_status(status), m_fromDatabase(fromDatabase) {}
    int status() const { return m_status; }
    // Whether the database refused a statement or query, whose cause the
    // component does not say (the run loop looks for it in the file).
    bool fromDatabase() const { return m_fromDatabase; }

private:
    int m_status;
    bool m_fromDatabase;
};

// "E_INVALIDARG", "PIMERR_NOT_CONNECTED", or the number in hex when the
// value has no name.
std::string HresultName(HRESULT hr);
std::string ErrorIdName(LONG errorId);

// "invalid argument (0x5002, E_INVALIDARG)"; without an error ID (0) the
// HRESULT alone: "class not registered (REGDB_E_CLASSNOTREG)".
std::string DescribeFailure(HRESULT hr, LONG errorId);

// Throws ClientError("<what>: <DescribeFailure>") when hr failed.
// errorId is taken by reference so that in Check(obj->Op(&err, ...), err,
// ...) it is read after the call filled it, whatever order the compiler
// evaluates the arguments in.
void Check(HRESULT hr, const LONG& errorId, const std::string& what);
// The same with `what` worked out only on failure, for calls made once per
// record of a long import.
template <class What>
requires std::is_invocable_r_v<std::string, What>
void Check(HRESULT hr, const LONG& errorId, What&& what) {
    if (FAILED(hr)) Check(hr, errorId, std::string(what()));
}

}  // namespace calyra::cli
