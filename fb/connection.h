#pragma once
// A client connection to one database, configured by typed options, with a cache of prepared
// statements and the hooks that tests and traces watch it through.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
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

// What a connection attaches with and starts its transactions with. Every member has an
// initializer, so that a designated initializer may leave any of them out.
struct ConnectionOptions {
    // A plain path opens the file in-process (embedded engine); "host:path" or
    // "host/port:path" goes through a server.
    std::string database = {};
    std::string user = {};
    std::string password = {};
    std::string role = {};     // empty: none
    int dialect = 3;           // 1 or 3; every statement is prepared and run in it too
    std::string charSet = {};  // lc_ctype; empty: NONE (bytes pass as they are)
    // The transactions begin() starts (the reader is read committed and read-only whatever
    // these say).
    bool readCommitted = true;  // with record versions; otherwise snapshot
    bool waitOnLocks = true;    // a conflicting lock is waited for, not an error at once
    int lockTimeout = 0;        // seconds such a wait may last; 0: no limit
    // Whether rows to insert go several to a statement; unset: insertsInBlocks() asks the
    // database.
    std::optional<bool> insertBlocks = {};
};

// What a connection calls at the moments that tests and traces watch (fault injection, the
// crash harness's events); an empty member is not called. Connections made after another
// (a run's branch connections after the data module's ConReplica) share its hooks
// (Connection::shareHooks), so that one set reaches every connection of a program.
struct ConnectionHooks {
    // Before every statement the connection sends, with its parameters (fb/sql_text.h writes
    // the values in).
    std::function<void(const std::string& sql, const std::vector<Value>& params)> statement = {};
    // Before each phase of a distributed commit (Transaction::PhaseHook) whose first part
    // with a phase hook is this connection (Connection::beginTogether).
    Transaction::PhaseHook phase = {};
};

class Connection {
  public:
    explicit Connection(std::string name = {}, ConnectionOptions options = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& name() const { return name_; }

    // A change of the options takes effect at the next open() for what the attachment is made
    // with (database, login, dialect, character set), at the next begin() for the lock-wait
    // and isolation settings, and at once for insertBlocks.
    const ConnectionOptions& options() const { return options_; }
    ConnectionOptions& options() { return options_; }

    const ConnectionHooks& hooks() const { return *hooks_; }
    // Replaces the hooks of this connection and of those that share them.
    void setHooks(ConnectionHooks hooks) { *hooks_ = std::move(hooks); }
    // From now on this connection calls the hooks of `other`, whatever either is given later.
    void shareHooks(const Connection& other) { hooks_ = other.hooks_; }

    // Opens the attachment the options describe (closing any open one first).
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
    // (Transaction::distributed), its phases told to the phase hook of the first part that has
    // one. Counts one transaction on each connection.
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
    // Runs `sql` in `tra` and returns its one row in one exchange with the server: a SELECT,
    // or an EXECUTE BLOCK that suspends once, is run as a singleton select (a second row is
    // an error), where a cursor would take an exchange to open and another to fetch.
    std::vector<Value> runSingleton(const Transaction& tra, const std::string& sql,
                                    const std::vector<Value>& params);
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
    // more than the rows' own INSERTs. Unless the options' insertBlocks says, asked of the
    // database once per attachment (one statement).
    bool insertsInBlocks();

    // How often the connection was opened: tells whether what was learnt of an attachment
    // still holds.
    uint64_t openCount() const { return opened_; }
    // Counters for benchmarks and tests.
    uint64_t preparedCount() const { return prepared_; }
    uint64_t executedCount() const { return executed_; }
    // Transactions started: by begin() and every statement of its own, and each reader.
    uint64_t transactionCount() const { return transactions_; }

  private:
    class StateGuard;
    const Attachment& attachment() const;
    TransactionOptions transactionOptions() const;
    const Transaction& reader();
    void endReader() noexcept;

    std::string name_;
    ConnectionOptions options_;
    std::shared_ptr<ConnectionHooks> hooks_ = std::make_shared<ConnectionHooks>();
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
