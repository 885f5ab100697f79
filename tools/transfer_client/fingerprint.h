#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace transfer_client {

// SHA-256 of a whole DER-encoded certificate.
using Fingerprint = std::array<unsigned char, 32>;

// Reads 32 two-digit hexadecimal bytes separated by ":" (either letter case).
// Anything else, including a SHA-1 fingerprint, throws ClientError(NotUnderstood).
Fingerprint parse_fingerprint(std::string_view text);

// One fingerprint, or several separated by ";" (so that a renewed certificate can be
// accepted before the server presents it): at most 8, each as parse_fingerprint reads it.
std::vector<Fingerprint> parse_fingerprints(std::string_view text);

// The lower-case "ab:cd:..." form, for messages.
std::string format_fingerprint(const Fingerprint& fingerprint);

}  // namespace transfer_client
