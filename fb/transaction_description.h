#pragma once
// The description that the distributed transaction coordinator hands each part of a
// transaction when it prepares it, and that the database keeps in
// RDB$TRANSACTIONS.RDB$TRANSACTION_DESCRIPTION while the part is in limbo: the client's host,
// then every part's database and transaction number, in the order the parts are prepared and
// committed.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fb {

struct TransactionDescription {
    struct Part {
        // The database as the client named it when it prepared (the connection's text over a
        // network, the engine's expanded file name in process): what
        // Connection::descriptionName() gives for the same database.
        std::string database;
        int64_t id = 0;  // the part's transaction in that database
        bool operator==(const Part&) const = default;
    };
    std::string host;
    std::vector<Part> parts;
    bool operator==(const TransactionDescription&) const = default;
};

// The description in `bytes`; nothing when they are not one (another version, a message some
// other program wrote, bytes cut short): such a transaction is none of ours.
std::optional<TransactionDescription> parseTransactionDescription(std::string_view bytes);

}  // namespace fb
