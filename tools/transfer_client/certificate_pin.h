#pragma once

#include <openssl/ssl.h>

#include <vector>

#include "fingerprint.h"

namespace transfer_client {

// Makes an OpenSSL client context accept a server only when the SHA-256
// fingerprint of the certificate it presents is one of the pinned ones. The check
// replaces chain and name verification: a self-signed certificate is fine,
// any other certificate fails the handshake. The pin records what it saw so
// that a failed handshake can be explained. It must outlive every context it
// is installed in.
class CertificatePin {
  public:
    explicit CertificatePin(std::vector<Fingerprint> expected) : expected_(std::move(expected)) {}
    CertificatePin(const CertificatePin&) = delete;
    CertificatePin& operator=(const CertificatePin&) = delete;

    void install(SSL_CTX* context);

    const std::vector<Fingerprint>& expected() const { return expected_; }
    // At least one certificate has been checked.
    bool checked() const { return checked_; }
    // Some certificate offered was none of the pinned ones.
    bool refused() const { return refused_; }
    // The fingerprint of the last certificate offered.
    const Fingerprint& last_seen() const { return last_seen_; }

  private:
    static int verify(X509_STORE_CTX* store, void* self);

    std::vector<Fingerprint> expected_;
    Fingerprint last_seen_{};
    bool checked_ = false;
    bool refused_ = false;
};

}  // namespace transfer_client
