#pragma once
// RAII owners of a transaction: on one attachment, over several attachments at once through
// the client's distributed transaction coordinator (committed in two phases), or one taken
// over from a database's limbo.
#include <cstdint>
#include <functional>
#include <vector>

#include "fb/attachment.h"

namespace fb {

struct TransactionOptions {
    bool readCommitted = true;  // read committed, record versions; otherwise snapshot
    bool waitOnLocks = true;    // a conflicting lock is waited for, not an error
    int lockTimeout = 0;        // seconds such a wait may last before it fails; 0: no limit
    bool readOnly = false;
};

// A transaction that rolls back on destruction unless committed.
class Transaction {
  public:
    Transaction(const Attachment& attachment, const TransactionOptions& options);

    // One database's part of a distributed transaction.
    struct Part {
        const Attachment* attachment;
        TransactionOptions options;
    };
    // Called just before each phase of a distributed commit, with "prepare" or "commit"
    // (fault injection and traces in tests).
    using PhaseHook = std::function<void(const char* phase)>;
    // One transaction over the attachments of `parts` (at least one; each once), through the
    // coordinator (IDtc): a statement of any of them runs in it, in its own database's part.
    // commit() is a two-phase commit. The first phase prepares every part, in the order given,
    // each with the coordinator's description of the whole (the client's host, then each
    // part's database and transaction number; kept in RDB$TRANSACTIONS); the second commits
    // them in the same order. A part prepared but never committed or rolled back (the process
    // killed, a link lost between the phases) stays in limbo in its database, its rows locked,
    // until it is taken over (reconnect) and resolved. `phases` (may be empty) is told of each
    // phase before it starts.
    static Transaction distributed(const std::vector<Part>& parts, PhaseHook phases = {});

    // Takes over transaction `id` of the attachment's database: one in limbo whose own
    // attachment is gone, so that it can be committed or rolled back. Fails with isc_no_recon
    // when it is not in limbo, or is still held by a live attachment (another process in the
    // middle of its commit).
    static Transaction reconnect(const Attachment& attachment, int64_t id);

    ~Transaction();
    Transaction(Transaction&& other) noexcept
        : tra_(other.tra_), distributed_(other.distributed_), phases_(std::move(other.phases_)) {
        other.tra_ = nullptr;
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    Transaction& operator=(Transaction&&) = delete;

    // Commits. A distributed transaction is prepared first; a failure of the first phase is
    // thrown with the transaction still active here, to be rolled back as a whole (no part is
    // committed before all are prepared). A failure of the second phase is thrown as InDoubt
    // and the transaction is let go without rolling anything back: parts may have committed
    // already, and those left prepared must follow them, not be undone.
    void commit();
    void rollback();
    // Lets the transaction go without ending it. A prepared part stays in limbo, held by this
    // attachment until it detaches (a transaction taken over and then not resolved).
    void release() noexcept;
    bool active() const { return tra_ != nullptr; }
    bool distributed() const { return distributed_; }
    Firebird::ITransaction* get() const { return tra_; }

  private:
    Transaction(Firebird::ITransaction* tra, bool distributed)
        : tra_(tra), distributed_(distributed) {}

    void phase(const char* name) const;

    Firebird::ITransaction* tra_ = nullptr;
    bool distributed_ = false;
    PhaseHook phases_;
};

}  // namespace fb
