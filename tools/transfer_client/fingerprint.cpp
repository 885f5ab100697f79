#include "fingerprint.h"

#include "client_error.h"
#include "text.h"

namespace transfer_client {

Fingerprint parse_fingerprint(std::string_view text) {
    Fingerprint result{};
    // 32 pairs and 31 separators.
    constexpr std::size_t expected_length = result.size() * 3 - 1;
    const auto refuse = [&] {
        throw ClientError(ErrorKind::NotUnderstood,
                          "certificate fingerprint \"" + std::string(text) +
                              "\" is not 32 hexadecimal bytes separated by \":\" (SHA-256)");
    };
    if (text.size() != expected_length) refuse();
    for (std::size_t i = 0; i < result.size(); ++i) {
        const std::size_t at = i * 3;
        const int high = hex_digit(text[at]);
        const int low = hex_digit(text[at + 1]);
        if (high < 0 || low < 0) refuse();
        if (at + 2 < text.size() && text[at + 2] != ':') refuse();
        result[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return result;
}

std::vector<Fingerprint> parse_fingerprints(std::string_view text) {
    constexpr std::size_t most = 8;
    std::vector<Fingerprint> fingerprints;
    for (;;) {
        const std::size_t end = text.find(';');
        fingerprints.push_back(parse_fingerprint(text.substr(0, end)));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    if (fingerprints.size() > most) {
        throw ClientError(ErrorKind::NotUnderstood,
                          "more than " + std::to_string(most) + " certificate fingerprints");
    }
    return fingerprints;
}

std::string format_fingerprint(const Fingerprint& fingerprint) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : fingerprint) {
        if (!text.empty()) text += ':';
        text += digits[byte >> 4];
        text += digits[byte & 0x0f];
    }
    return text;
}

}  // namespace transfer_client
