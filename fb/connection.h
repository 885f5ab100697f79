#pragma once
// A client connection to one database, configured by named text parameters, with a cache of
// prepared statements.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fb/statement.h"
#include "fb/table.h"
#include "fb/transaction.h"

namespace fb {

enum class ConnectionState : int {
    Closed = 0,
    Open = 1,
    Connecting = 2,
    Executing = 3,
    Fetching = 4,
    Disconnecting = 5,
};

// Parameters understood (names matched without regard to case): "Database", "User_Name",
// "password", "SQLDialect" (1 or 3), "ServerCharSet" (lc_ctype; empty: bytes pass as they
// are), "RoleName", "WaitOnLocks" (True/False), "LockTimeout" (seconds a lock wait may
// last; empty or 0: no limit), "IsolationLevel" (ReadCommitted or SnapShot), "CommitRetain"
// (False only), "InsertBlocks" (True/False; empty: decided by insertsInBlocks()), "BlobSize",
// "Trim Char", "LocaleCode" (accepted, no effect: blobs are always fetched whole and
// fixed-length text keeps its padding).
class Connection {
  public:
    explicit Connection(std::string name = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& name() const { return name_; }

    // Sets a parameter; an existing one of the same name in any letter case is replaced.
    void setParam(const std::string& name, const std::string& value);
    std::string param(const std::string& name) const;
    const std::vector<std::pair<std::string, std::string>>& params() const { return params_; }

    // Opens the attachment described by the parameters (closing any open one first).
    void open();
    // Ends the reader, frees the cached statements and detaches. Safe when closed.
    void close();
    bool connected() const { return static_cast<bool>(att_); }
    ConnectionState state() const { return state_; }
    unsigned dialect() const;

    // A transaction with the connection's isolation and lock-wait settings.
    Transaction begin();
    // One transaction over the attachments of `parts` (each open, each once), every part with
    // its connection's settings, prepared and committed in the order given
    // (Transaction::distributed). Counts one transaction on each connection.
    static Transaction beginTogether(const std::vector<Connection*>& parts);
    // Takes over transaction `id` of this database, left in limbo (Transaction::reconnect).
    Transaction reconnect(int64_t id);
    // The name the description of a distributed transaction gives this connection's database
    // (fb::TransactionDescription): the client's answer for a transaction of this attachment,
    // asked once per attachment (in the reader).
    const std::string& descriptionName();
    // The statement for `sql`, prepared once per attachment and kept until close(). At most
    // kCacheSize texts are kept: texts that embed a value (an invoice id) would otherwise
    // pile up for the whole run; the least recently used one goes first.
    Statement& prepare(const Transaction& tra, const std::string& sql);
    static constexpr size_t kCacheSize = 256;
    size_t cachedCount() const { return cache_.size(); }

    // The result columns of `sql`, without running it (prepared through the cache, in the
    // reader when not cached yet).
    std::vector<ColumnInfo> describe(const std::string& sql);

    // Runs one statement in `tra`: the whole result of a SELECT, or the output row of an
    // EXECUTE PROCEDURE as a one-row table.
    Table run(const Transaction& tra, const std::string& sql, const std::vector<Value>& params);
    // The same in a transaction of its own, committed at once.
    Table run(const std::string& sql, const std::vector<Value>& params = {});
    // The same for a statement that never writes, in the connection's reader: one read-only
    // read committed transaction that stays open between statements, saving the start and
    // the commit of a transaction per statement (two round trips on a server). Firebird
    // starts such a transaction pre-committed: it holds back no garbage collection and waits
    // for no lock, and each statement sees what is committed when it runs, as in a
    // transaction of its own. A statement that writes is refused there by the server. The
    // reader starts with the first statement and ends with close() (also when the connection
    // is opened again) and after a statement that failed in it.
    Table read(const std::string& sql, const std::vector<Value>& params = {});
    bool readerActive() const { return reader_.has_value(); }

    // Whether rows to insert are best sent several to a statement. Over a network every
    // statement is a round trip, which costs far more than the server's work on a block;
    // in process (the embedded engine) there is no round trip to save, and a block costs
    // more than the rows' own INSERTs. Unless "InsertBlocks" says, asked of the database
    // once per attachment (one statement).
    bool insertsInBlocks();

    // How often the connection was opened: tells whether what was learnt of an attachment
    // still holds.
    uint64_t openCount() const { return opened_; }
    // Counters for benchmarks and tests.
    uint64_t preparedCount() const { return prepared_; }
    uint64_t executedCount() const { return executed_; }
    // Transactions started: by begin() and every statement of its own, and each reader.
    uint64_t transactionCount() const { return transactions_; }

    // Called before every statement that any connection sends, with its parameters (fault
    // injection and traces in tests; fb/sql_text.h writes the values in).
    using StatementHook =
        std::function<void(const std::string& sql, const std::vector<Value>& params)>;
    static void setStatementHook(StatementHook hook);

  private:
    class StateGuard;
    const Attachment& attachment() const;
    TransactionOptions transactionOptions() const;
    const Transaction& reader();
    void endReader() noexcept;

    std::string name_;
    std::vector<std::pair<std::string, std::string>> params_;
    Attachment att_;
    std::optional<Transaction> reader_;  // ended before the attachment goes
    std::optional<bool> overNetwork_;    // known from the first insertsInBlocks()
    std::optional<std::string> descriptionName_;
    ConnectionState state_ = ConnectionState::Closed;
    struct Cached {
        std::unique_ptr<Statement> statement;
        uint64_t lastUse = 0;
    };
    std::map<std::string, Cached, std::less<>> cache_;
    uint64_t uses_ = 0;
    uint64_t opened_ = 0;
    uint64_t prepared_ = 0;
    uint64_t executed_ = 0;
    uint64_t transactions_ = 0;
};

}  // namespace fb
