#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <vector>

#include "certificate_pin.h"
#include "client_error.h"
#include "remote_folder.h"
#include "script.h"

namespace transfer_client {

// curl_global_init for the lifetime of the object; make one before any session.
class CurlLibrary {
  public:
    CurlLibrary();
    ~CurlLibrary();
    CurlLibrary(const CurlLibrary&) = delete;
    CurlLibrary& operator=(const CurlLibrary&) = delete;
};

// An FTP session with explicit TLS on control and data connections, logged
// in and standing in the account's root folder. The server is trusted only
// through the certificate pin, checked inside the TLS handshake, before the
// account name and password are sent. One libcurl handle carries every
// request, so they share one control connection.
class FtpSession : public RemoteFolder {
  public:
    // Connects and logs in; throws ClientError(Connection, Fingerprint or Login).
    explicit FtpSession(const OpenCommand& open);
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // NLST of the root folder, without "." and "..". Throws ClientError(Remote).
    std::vector<std::string> list_names() override;

    // DELE name. Throws ClientError(Remote) when the server refuses it.
    void remove(const std::string& name) override;

  private:
    struct CurlDeleter {
        void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    };
    struct SlistDeleter {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };

    // Runs the request set up on the handle. A failure throws ClientError of
    // `kind`, unless the certificate pin or the login explains it better.
    void perform(ErrorKind kind, const std::string& doing);

    // Everything the handle points at is declared before it, so that the
    // handle goes first.
    std::string url_;
    CertificatePin pin_;
    char error_buffer_[CURL_ERROR_SIZE] = {};
    std::string listing_;
    std::unique_ptr<curl_slist, SlistDeleter> commands_;
    std::unique_ptr<CURL, CurlDeleter> curl_;
};

}  // namespace transfer_client
