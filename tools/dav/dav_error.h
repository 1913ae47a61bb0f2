// The one error the DAV client throws, with a kind a caller can act on
// (fall back to a listing when a sync token is refused, fetch and merge on
// a precondition failure, stop on a certificate that does not verify).
//
// Its text names the request (method and URL without credentials) and what
// the server or the transport said; it never holds a password, because the
// client never has one in a URL or a header it writes itself.
//
// Ownership: a value. Thread-safety: immutable after construction.
#pragma once

#include <stdexcept>
#include <string>

namespace calyra::dav {

enum class ErrorKind {
    Usage,             // a URL or option the client refuses before sending anything
    Insecure,          // plain http to a host that is not this machine, without allow_insecure
    Transport,         // could not connect, timed out, connection dropped
    Tls,               // the server's certificate did not verify
    Unauthorized,      // 401 or 403 on a request that needed the account's rights
    Http,              // any other status the operation did not expect
    InvalidSyncToken,  // the server refused the sync token (DAV:valid-sync-token)
    Xml,               // a body that is not the XML the operation expects
    TooLarge,          // a response past the client's size limit
};

class DavError : public std::runtime_error {
public:
    DavError(ErrorKind kind, const std::string& what, int httpStatus = 0)
        : std::runtime_error(what), m_kind(kind), m_httpStatus(httpStatus) {}

    ErrorKind kind() const { return m_kind; }
    // The response's status, or 0 when none came back.
    int httpStatus() const { return m_httpStatus; }

private:
    ErrorKind m_kind;
    int m_httpStatus;
};

}  // namespace calyra::dav
