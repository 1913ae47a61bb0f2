#include "dav/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <exception>
#include <mutex>

#include "dav/dav_error.h"
#include "dav/url.h"

namespace calyra::dav {
namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

struct Transfer {
    HttpResponse* response = nullptr;
    size_t limit = 0;
    const std::function<void(std::string_view)>* onBody = nullptr;
    int status = 0;    // from the last status line
    size_t bytes = 0;  // of body so far
    bool tooLarge = false;
    std::exception_ptr thrown;  // by onBody; curl is C and must not see it
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->bytes + n > t->limit) {
        t->tooLarge = true;
        return 0;  // curl stops with CURLE_WRITE_ERROR
    }
    t->bytes += n;
    if (!t->onBody || t->status / 100 != 2) {
        t->response->body.append(data, n);
        return n;
    }
    try {
        (*t->onBody)(std::string_view(data, n));
    } catch (...) {
        t->thrown = std::current_exception();
        return 0;
    }
    return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    std::string_view line(data, n);
    // A new status line (after a 100 Continue) starts a new set of headers.
    if (line.starts_with("HTTP/")) {
        t->response->headers.clear();
        const size_t space = line.find(' ');
        t->status = 0;
        if (space != std::string_view::npos && line.size() >= space + 4)
            std::from_chars(line.data() + space + 1, line.data() + space + 4, t->status);
        return n;
    }
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && t->response->headers.size() < 1000)
        t->response->headers.emplace_back(Lower(Trim(line.substr(0, colon))),
                                          std::string(Trim(line.substr(colon + 1))));
    return n;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    const std::string key = Lower(name);
    for (auto it = headers.rbegin(); it != headers.rend(); ++it)
        if (it->first == key) return it->second;
    return std::nullopt;
}

struct HttpClient::Handle {
    CURL* curl = nullptr;
    ~Handle() {
        if (curl) curl_easy_cleanup(curl);
    }
};

HttpClient::HttpClient(std::string accountUrl, std::string user, std::function<std::string()> password,
                       HttpOptions options)
    : m_handle(std::make_unique<Handle>()),
      m_user(std::move(user)),
      m_passwordSource(std::move(password)),
      m_options(options) {
    CheckUrlAllowed(accountUrl, m_options.allowInsecure);
    m_trustedOrigins.insert(UrlOrigin(accountUrl));
    GlobalInit();
    m_handle->curl = curl_easy_init();
    if (!m_handle->curl) throw DavError(ErrorKind::Transport, "could not start the HTTP library");
}

HttpClient::~HttpClient() {
    if (m_password) std::fill(m_password->begin(), m_password->end(), '\0');
    if (m_handle->curl) {
        // Curl keeps its own copy of the password; overwrite it before the
        // handle is freed.
        curl_easy_setopt(m_handle->curl, CURLOPT_PASSWORD, "");
    }
}

void HttpClient::trustOrigin(std::string_view url) {
    CheckUrlAllowed(url, m_options.allowInsecure);
    m_trustedOrigins.insert(UrlOrigin(url));
}

HttpResponse HttpClient::send(const HttpRequest& request) { return send(request, nullptr); }

HttpResponse HttpClient::send(const HttpRequest& request, const std::function<void(std::string_view bytes)>& onBody) {
    CheckUrlAllowed(request.url, m_options.allowInsecure);
    CURL* c = m_handle->curl;
    // Reset drops every option of the last request but keeps the live
    // connection, the TLS session and the DNS cache.
    curl_easy_reset(c);

    HttpResponse response;
    Transfer transfer;
    transfer.response = &response;
    transfer.limit = m_options.maxResponseBytes;
    if (onBody) transfer.onBody = &onBody;
    char errorText[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, m_options.connectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, m_options.stallSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, m_options.totalTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");  // whatever curl can decode
    // A proxy from the environment is fine for https (a tunnel), but the
    // loopback servers must be reached directly.
    curl_easy_setopt(c, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");

    if (!m_user.empty() && m_trustedOrigins.contains(UrlOrigin(request.url))) {
        if (!m_password) m_password = m_passwordSource ? m_passwordSource() : std::string();
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(c, CURLOPT_USERNAME, m_user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, m_password->c_str());
    }

    if (request.method == "GET") {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (!request.body.empty() || request.method == "PUT") {
            curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
            curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
        }
    }

    curl_slist* headers = nullptr;
    // No "Expect: 100-continue" round trip before each upload.
    headers = curl_slist_append(headers, "Expect:");
    for (const auto& [name, value] : request.headers) {
        const std::string line = name + ": " + value;
        if (line.find_first_of("\r\n") != std::string::npos) {
            curl_slist_free_all(headers);
            throw DavError(ErrorKind::Usage, "a header value holds a line break");
        }
        headers = curl_slist_append(headers, line.c_str());
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);

    const CURLcode code = curl_easy_perform(c);
    curl_slist_free_all(headers);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    if (m_observer) m_observer(request.method, request.url, code == CURLE_OK ? response.status : 0);

    if (transfer.thrown) std::rethrow_exception(transfer.thrown);
    if (code != CURLE_OK) {
        const std::string where = request.method + " " + request.url + ": ";
        const std::string detail = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(code));
        if (transfer.tooLarge)
            throw DavError(ErrorKind::TooLarge, where + "the response is larger than " +
                                                    std::to_string(m_options.maxResponseBytes >> 20) + " MiB");
        switch (code) {
            case CURLE_PEER_FAILED_VERIFICATION:
            case CURLE_SSL_CACERT_BADFILE:
            case CURLE_SSL_CONNECT_ERROR:
            case CURLE_SSL_CERTPROBLEM:
                throw DavError(ErrorKind::Tls, where + "the server's TLS certificate was not accepted (" + detail +
                                                   "); the connection was refused");
            default:
                throw DavError(ErrorKind::Transport, where + detail);
        }
    }
    return response;
}

}  // namespace calyra::dav
