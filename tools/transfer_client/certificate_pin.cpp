#include "certificate_pin.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>

namespace transfer_client {

void CertificatePin::install(SSL_CTX* context) {
    // VERIFY_PEER makes a refusal of the callback end the handshake.
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(context, &CertificatePin::verify, this);
}

int CertificatePin::verify(X509_STORE_CTX* store, void* self) {
    auto& pin = *static_cast<CertificatePin*>(self);
    pin.checked_ = true;
    X509* certificate = X509_STORE_CTX_get0_cert(store);  // the leaf
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool hashed = certificate != nullptr &&
                        X509_digest(certificate, EVP_sha256(), digest, &length) == 1 &&
                        length == pin.last_seen_.size();
    if (hashed) std::copy(digest, digest + length, pin.last_seen_.begin());
    if (!hashed || std::find(pin.expected_.begin(), pin.expected_.end(), pin.last_seen_) ==
                       pin.expected_.end()) {
        pin.refused_ = true;
        X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    return 1;
}

}  // namespace transfer_client
