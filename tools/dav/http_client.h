// One account's HTTP connection: a libcurl handle reused for every request,
// so a sync of many collections opens one connection and keeps it.
//
// Security, by construction rather than by option:
// - TLS certificates and host names are always verified against the
//   system's CA store; there is no switch to turn that off.
// - Plain http is refused unless the host is this machine's loopback or the
//   account was created with allowInsecure.
// - The password is asked of a callback the first time a request needs it
//   and handed to libcurl's own authentication; it never appears in a URL,
//   a header text of ours, an error text, or the observer's report. Curl's
//   verbose output is never enabled (nothing here can turn it on), so it
//   cannot print the Authorization header.
// - Credentials go only to origins the account trusts (its own, and the
//   https origins discovery was redirected to); redirects are never followed
//   by libcurl itself.
//
// Ownership: the client owns its curl handle and the password it was given.
// Thread-safety: none; one thread at a time per client.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace calyra::dav {

struct HttpRequest {
    std::string method;  // "PROPFIND", "REPORT", "GET", "PUT", "DELETE", ...
    std::string url;     // absolute
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

struct HttpResponse {
    int status = 0;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case

    // The last header of that name (case-insensitive), if any.
    std::optional<std::string> header(std::string_view name) const;
};

struct HttpOptions {
    bool allowInsecure = false;
    long connectTimeoutSeconds = 15;
    // A transfer slower than one byte a second for this long is abandoned.
    long stallSeconds = 60;
    long totalTimeoutSeconds = 600;
    // Bodies past this size are refused: a multistatus for 10,000 items is
    // a few megabytes, so this only stops a runaway server.
    size_t maxResponseBytes = size_t{128} << 20;
};

// Sees each exchange after it ends: method, URL, status (0 when no
// response came). For counting and progress; it never sees credentials.
using HttpObserver = std::function<void(const std::string& method, const std::string& url, int status)>;

class HttpClient {
public:
    // `password` is called at most once, when the first request to a
    // trusted origin is sent; an empty `user` sends no credentials.
    HttpClient(std::string accountUrl, std::string user, std::function<std::string()> password,
               HttpOptions options = {});
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sends one request and returns whatever status came back (redirects
    // included, unfollowed). Throws DavError for transport and TLS failures,
    // refused URLs and oversized bodies.
    HttpResponse send(const HttpRequest& request);
    // The same, but the body of a 2xx answer goes to `onBody` piece by
    // piece as it arrives and is not kept (a long answer is never held
    // whole); other answers are kept in the body as usual. What `onBody`
    // throws ends the transfer and comes out of send.
    HttpResponse send(const HttpRequest& request, const std::function<void(std::string_view bytes)>& onBody);

    // Lets credentials go to `url`'s origin too (after a redirect that
    // discovery accepted).
    void trustOrigin(std::string_view url);
    bool allowInsecure() const { return m_options.allowInsecure; }
    void setObserver(HttpObserver observer) { m_observer = std::move(observer); }

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    std::string m_user;
    std::function<std::string()> m_passwordSource;
    std::optional<std::string> m_password;  // asked once, wiped on destruction
    std::set<std::string> m_trustedOrigins;
    HttpOptions m_options;
    HttpObserver m_observer;
};

}  // namespace calyra::dav
