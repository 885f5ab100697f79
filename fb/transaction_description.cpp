#include "fb/transaction_description.h"

namespace fb {
namespace {

// The record's tags (each followed by a length byte and that many bytes), after its first
// byte, the version.
constexpr unsigned char kVersion = 1;
constexpr unsigned char kHostSite = 1;
constexpr unsigned char kDatabasePath = 2;
constexpr unsigned char kTransactionId = 3;
constexpr unsigned char kRemoteSite = 4;
constexpr unsigned char kProtocol = 5;
constexpr unsigned char kTransactionIdLong = 6;

}  // namespace

std::optional<TransactionDescription> parseTransactionDescription(std::string_view bytes) {
    if (bytes.empty() || static_cast<unsigned char>(bytes[0]) != kVersion) return std::nullopt;
    TransactionDescription d;
    bool idGiven = true;  // of the last part
    for (size_t at = 1; at < bytes.size();) {
        if (at + 2 > bytes.size()) return std::nullopt;
        const unsigned char tag = static_cast<unsigned char>(bytes[at]);
        const size_t length = static_cast<unsigned char>(bytes[at + 1]);
        at += 2;
        if (at + length > bytes.size()) return std::nullopt;
        const std::string_view value = bytes.substr(at, length);
        at += length;
        switch (tag) {
            case kHostSite:
                d.host = value;
                break;
            case kDatabasePath:
                if (!idGiven) return std::nullopt;
                d.parts.push_back({std::string(value), 0});
                idGiven = false;
                break;
            case kTransactionId:
            case kTransactionIdLong: {
                if (d.parts.empty() || idGiven || length == 0 || length > 8) return std::nullopt;
                uint64_t id = 0;
                for (size_t i = length; i-- > 0;)
                    id = (id << 8) | static_cast<unsigned char>(value[i]);
                d.parts.back().id = static_cast<int64_t>(id);
                idGiven = true;
                break;
            }
            case kRemoteSite:
            case kProtocol:
                break;  // older clients name the server apart; the path is what matches
            default:
                return std::nullopt;
        }
    }
    if (d.parts.empty() || !idGiven) return std::nullopt;
    return d;
}

}  // namespace fb
