#include "ftp_session.h"

namespace transfer_client {

namespace {

CURLcode on_ssl_context(CURL*, void* ssl_context, void* pin) {
    static_cast<CertificatePin*>(pin)->install(static_cast<SSL_CTX*>(ssl_context));
    return CURLE_OK;
}

std::size_t append_to_string(char* data, std::size_t size, std::size_t count, void* text) {
    static_cast<std::string*>(text)->append(data, size * count);
    return size * count;
}

template <typename T>
void set_option(CURL* curl, CURLoption option, T value) {
    const CURLcode result = curl_easy_setopt(curl, option, value);
    if (result != CURLE_OK) {
        throw ClientError(ErrorKind::Connection,
                          std::string("libcurl cannot be set up: ") + curl_easy_strerror(result));
    }
}

// Failures of the network or of TLS, whatever the request was for.
bool is_connection_failure(CURLcode result) {
    switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_GOT_NOTHING:
            return true;
        default:
            return false;
    }
}

std::vector<std::string> split_listing(const std::string& listing) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        std::string name = listing.substr(start, end - start);
        if (!name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty() && name != "." && name != "..") names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

}  // namespace

CurlLibrary::CurlLibrary() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        throw ClientError(ErrorKind::Connection, "libcurl cannot be initialised");
    }
}

CurlLibrary::~CurlLibrary() {
    curl_global_cleanup();
}

FtpSession::FtpSession(const OpenCommand& open)
    : url_("ftp://" + open.host + ":" + std::to_string(open.port) + "/"),
      pin_(open.certificates),
      curl_(curl_easy_init()) {
    if (!curl_) throw ClientError(ErrorKind::Connection, "libcurl cannot start a session");
    CURL* curl = curl_.get();
    set_option(curl, CURLOPT_ERRORBUFFER, error_buffer_);
    set_option(curl, CURLOPT_URL, url_.c_str());
    // Never through a proxy the environment names (ftp_proxy, all_proxy, ...): one would be
    // handed the account and password before any certificate is checked.
    set_option(curl, CURLOPT_PROXY, "");
    set_option(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    set_option(curl, CURLOPT_REDIR_PROTOCOLS_STR, "ftp");
    set_option(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    // ftp:// plus AUTH TLS is explicit TLS; ftps:// would be implicit TLS.
    set_option(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    set_option(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    set_option(curl, CURLOPT_USERNAME, open.user.c_str());
    set_option(curl, CURLOPT_PASSWORD, open.password.c_str());
    // The pin alone decides: libcurl's own chain check would want a CA bundle
    // and refuse a self-signed certificate, and with the certificate pinned the
    // host name proves nothing more. The pin turns VERIFY_PEER back on itself.
    set_option(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    set_option(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    set_option(curl, CURLOPT_SSL_CTX_FUNCTION, &on_ssl_context);
    set_option(curl, CURLOPT_SSL_CTX_DATA, static_cast<void*>(&pin_));
    set_option(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    set_option(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, 60L);
    set_option(curl, CURLOPT_NOSIGNAL, 1L);
    set_option(curl, CURLOPT_WRITEFUNCTION, &append_to_string);
    set_option(curl, CURLOPT_WRITEDATA, static_cast<void*>(&listing_));

    // Connect and log in, nothing else.
    set_option(curl, CURLOPT_NOBODY, 1L);
    perform(ErrorKind::Connection, "connecting to " + open.host);
    if (!pin_.checked()) {
        // libcurl did not run the callback: the server was never verified.
        throw ClientError(ErrorKind::Fingerprint, "connecting to " + open.host +
                                                      ": the server's certificate was not checked");
    }
}

std::vector<std::string> FtpSession::list_names() {
    CURL* curl = curl_.get();
    listing_.clear();
    set_option(curl, CURLOPT_QUOTE, static_cast<curl_slist*>(nullptr));
    set_option(curl, CURLOPT_NOBODY, 0L);
    set_option(curl, CURLOPT_DIRLISTONLY, 1L);
    perform(ErrorKind::Remote, "listing the remote folder");
    return split_listing(listing_);
}

void FtpSession::remove(const std::string& name) {
    if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw ClientError(ErrorKind::Remote, "a remote file name holds a line break");
    }
    commands_.reset(curl_slist_append(nullptr, ("DELE " + name).c_str()));
    if (!commands_) throw ClientError(ErrorKind::Remote, "out of memory");
    CURL* curl = curl_.get();
    set_option(curl, CURLOPT_QUOTE, commands_.get());
    set_option(curl, CURLOPT_NOBODY, 1L);
    set_option(curl, CURLOPT_DIRLISTONLY, 0L);
    perform(ErrorKind::Remote, "deleting \"" + name + "\"");
}

void FtpSession::perform(ErrorKind kind, const std::string& doing) {
    error_buffer_[0] = '\0';
    const CURLcode result = curl_easy_perform(curl_.get());
    if (result == CURLE_OK) return;

    if (pin_.refused()) {
        std::string expected;
        for (const Fingerprint& f : pin_.expected())
            expected += (expected.empty() ? "" : " or ") + format_fingerprint(f);
        throw ClientError(ErrorKind::Fingerprint,
                          doing + ": the server's certificate has the SHA-256 fingerprint " +
                              format_fingerprint(pin_.last_seen()) + ", the script expects " +
                              expected);
    }
    std::string detail = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(result);
    long reply = 0;
    if (curl_easy_getinfo(curl_.get(), CURLINFO_RESPONSE_CODE, &reply) == CURLE_OK && reply != 0) {
        detail += " (last server reply " + std::to_string(reply) + ")";
    }
    if (result == CURLE_LOGIN_DENIED) {
        throw ClientError(ErrorKind::Login,
                          doing + ": the server refused the account name or password: " + detail);
    }
    throw ClientError(is_connection_failure(result) ? ErrorKind::Connection : kind,
                      doing + ": " + detail);
}

}  // namespace transfer_client
