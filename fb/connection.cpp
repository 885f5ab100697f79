#include "fb/connection.h"

namespace fb {

// Sets a transient state for the duration of a call and puts the connection back to open.
class Connection::StateGuard {
  public:
    StateGuard(Connection& c, ConnectionState s) : c_(c) { c_.state_ = s; }
    ~StateGuard() { c_.state_ = c_.att_ ? ConnectionState::Open : ConnectionState::Closed; }
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;

  private:
    Connection& c_;
};

Connection::Connection(std::string name, ConnectionOptions options)
    : name_(std::move(name)), options_(std::move(options)) {}

Connection::~Connection() {
    try {
        close();
    } catch (...) {
    }
}

unsigned Connection::dialect() const {
    return options_.dialect == 1 ? 1 : 3;
}

void Connection::open() {
    close();
    AttachOptions o;
    o.user = options_.user;
    o.password = options_.password;
    o.charSet = options_.charSet;
    o.role = options_.role;
    o.dialect = static_cast<int>(dialect());
    StateGuard guard(*this, ConnectionState::Connecting);
    att_ = Attachment(options_.database, o);
    ++opened_;
}

void Connection::close() {
    if (!att_) return;
    StateGuard guard(*this, ConnectionState::Disconnecting);
    endReader();     // an attachment with an open transaction cannot detach
    cache_.clear();  // statements go before their attachment
    overNetwork_.reset();
    descriptionName_.reset();
    att_.detach();
}

bool Connection::insertsInBlocks() {
    if (options_.insertBlocks) return *options_.insertBlocks;
    if (!overNetwork_) {
        // No protocol: the database is open in this process.
        const Table t =
            read("SELECT RDB$GET_CONTEXT('SYSTEM', 'NETWORK_PROTOCOL') FROM RDB$DATABASE");
        overNetwork_ = !t.rows.empty() && !t.rows[0][0].isNull();
    }
    return *overNetwork_;
}

const Attachment& Connection::attachment() const {
    if (!att_) throw Error("Connection " + name_ + " is not open");
    return att_;
}

const Transaction& Connection::reader() {
    if (!reader_) {
        TransactionOptions o;
        o.readCommitted = true;  // with record versions; pre-committed when read-only too
        o.readOnly = true;
        reader_.emplace(attachment(), o);
        ++transactions_;
    }
    return *reader_;
}

void Connection::endReader() noexcept {
    if (!reader_) return;
    try {
        reader_->commit();
    } catch (...) {
        // A lost attachment: the handle is released below all the same.
    }
    reader_.reset();
}

TransactionOptions Connection::transactionOptions() const {
    TransactionOptions o;
    o.readCommitted = options_.readCommitted;
    o.waitOnLocks = options_.waitOnLocks;
    o.lockTimeout = options_.lockTimeout;
    return o;
}

Transaction Connection::begin() {
    Transaction t(attachment(), transactionOptions());
    ++transactions_;
    return t;
}

Transaction Connection::beginTogether(const std::vector<Connection*>& parts) {
    std::vector<Transaction::Part> p;
    Transaction::PhaseHook hook;
    for (Connection* c : parts) {
        p.push_back({&c->attachment(), c->transactionOptions()});
        if (!hook) hook = c->hooks_->phase;
    }
    Transaction t = Transaction::distributed(p, std::move(hook));
    for (Connection* c : parts) ++c->transactions_;
    return t;
}

Transaction Connection::reconnect(int64_t id) {
    Transaction t = Transaction::reconnect(attachment(), id);
    ++transactions_;
    return t;
}

const std::string& Connection::descriptionName() {
    if (!descriptionName_) {
        const unsigned char items[] = {fb_info_tra_dbpath, isc_info_end};
        std::vector<unsigned char> answer(32 * 1024);  // a path may be long
        try {
            Status st;
            reader().get()->getInfo(&st, sizeof items, items, static_cast<unsigned>(answer.size()),
                                    answer.data());
        } catch (...) {
            endReader();
            throw;
        }
        std::string name;
        for (size_t at = 0; at + 3 <= answer.size() && answer[at] != isc_info_end;) {
            const size_t length = answer[at + 1] | (answer[at + 2] << 8);
            if (at + 3 + length > answer.size()) break;
            if (answer[at] == fb_info_tra_dbpath)
                name.assign(reinterpret_cast<const char*>(&answer[at + 3]), length);
            at += 3 + length;
        }
        descriptionName_ = std::move(name);
    }
    return *descriptionName_;
}

Statement& Connection::prepare(const Transaction& tra, const std::string& sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
        it->second.lastUse = ++uses_;
        return *it->second.statement;
    }
    auto stmt = std::make_unique<Statement>(attachment(), tra, sql, dialect());
    ++prepared_;
    if (cache_.size() >= kCacheSize) {
        auto oldest = cache_.begin();
        for (auto i = cache_.begin(); i != cache_.end(); ++i)
            if (i->second.lastUse < oldest->second.lastUse) oldest = i;
        cache_.erase(oldest);
    }
    Cached& entry = cache_[sql];
    entry.statement = std::move(stmt);
    entry.lastUse = ++uses_;
    return *entry.statement;
}

std::vector<ColumnInfo> Connection::describe(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
        it->second.lastUse = ++uses_;
        return it->second.statement->outputs();
    }
    try {
        return prepare(reader(), sql).outputs();
    } catch (...) {
        endReader();
        throw;
    }
}

Table Connection::run(const Transaction& tra, const std::string& sql,
                      const std::vector<Value>& params) {
    Statement& stmt = prepare(tra, sql);
    if (hooks_->statement) hooks_->statement(sql, params);
    ++executed_;
    Table t;
    t.columns = stmt.outputs();
    if (stmt.returnsRows()) {
        StateGuard guard(*this, ConnectionState::Fetching);
        ResultSet rs = stmt.open(tra, params);
        while (rs.next()) t.rows.push_back(rs.row());
        rs.close();
    } else {
        StateGuard guard(*this, ConnectionState::Executing);
        std::vector<Value> out = stmt.execute(tra, params);
        if (!t.columns.empty()) t.rows.push_back(std::move(out));
    }
    return t;
}

std::vector<Value> Connection::runSingleton(const Transaction& tra, const std::string& sql,
                                            const std::vector<Value>& params) {
    Statement& stmt = prepare(tra, sql);
    if (hooks_->statement) hooks_->statement(sql, params);
    ++executed_;
    StateGuard guard(*this, ConnectionState::Executing);
    return stmt.execute(tra, params);
}

Table Connection::run(const std::string& sql, const std::vector<Value>& params) {
    Transaction tra = begin();
    Table t = run(tra, sql, params);
    tra.commit();
    return t;
}

Table Connection::read(const std::string& sql, const std::vector<Value>& params) {
    try {
        return run(reader(), sql, params);
    } catch (...) {
        // The next statement starts a fresh reader (after a lost connection the old handle
        // would fail every statement).
        endReader();
        throw;
    }
}

}  // namespace fb
