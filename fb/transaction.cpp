#include "fb/transaction.h"

#include <string>

#include "fb/xpb.h"

namespace fb {
namespace {

std::vector<unsigned char> tpbOf(const TransactionOptions& o) {
    Xpb tpb(Firebird::IXpbBuilder::TPB);
    tpb.tag(o.readOnly ? isc_tpb_read : isc_tpb_write);
    if (o.readCommitted) {
        tpb.tag(isc_tpb_read_committed);
        tpb.tag(isc_tpb_rec_version);
    } else {
        tpb.tag(isc_tpb_concurrency);
    }
    tpb.tag(o.waitOnLocks ? isc_tpb_wait : isc_tpb_nowait);
    if (o.waitOnLocks && o.lockTimeout > 0) tpb.num(isc_tpb_lock_timeout, o.lockTimeout);
    return tpb.bytes();
}

}  // namespace

Transaction::Transaction(const Attachment& attachment, const TransactionOptions& o) {
    const std::vector<unsigned char> b = tpbOf(o);
    Status st;
    tra_ = attachment.get()->startTransaction(&st, static_cast<unsigned>(b.size()), b.data());
}

Transaction Transaction::distributed(const std::vector<Part>& parts, PhaseHook phases) {
    if (parts.empty()) throw Error("A distributed transaction needs at least one attachment");
    // The builder keeps pointers to the parameter blocks until start().
    std::vector<std::vector<unsigned char>> tpbs;
    tpbs.reserve(parts.size());
    for (const Part& p : parts) tpbs.push_back(tpbOf(p.options));
    Status st;
    Firebird::IDtcStart* start = master()->getDtc()->startBuilder(&st);
    Firebird::ITransaction* tra = nullptr;
    try {
        for (size_t i = 0; i < parts.size(); ++i)
            start->addWithTpb(&st, parts[i].attachment->get(),
                              static_cast<unsigned>(tpbs[i].size()), tpbs[i].data());
        tra = start->start(&st);  // start() disposes of the builder
    } catch (...) {
        start->dispose();
        throw;
    }
    Transaction t(tra, true);
    t.phases_ = std::move(phases);
    return t;
}

Transaction Transaction::reconnect(const Attachment& attachment, int64_t id) {
    // The number as the engine reads it: little-endian, four bytes unless it needs more.
    unsigned char bytes[8];
    const unsigned length = static_cast<uint64_t>(id) > 0xFFFFFFFFu ? 8 : 4;
    for (unsigned i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(static_cast<uint64_t>(id) >> (8 * i));
    Status st;
    return Transaction(attachment.get()->reconnectTransaction(&st, length, bytes), false);
}

Transaction::~Transaction() {
    try {
        rollback();
    } catch (...) {
    }
}

void Transaction::commit() {
    if (!tra_) throw Error("Transaction is not active");
    if (distributed_) {
        phase("prepare");
        {
            Status st;
            tra_->prepare(&st, 0, nullptr);  // no message: the coordinator writes its own
        }
        phase("commit");
        try {
            Status st;
            tra_->commit(&st);
        } catch (const Error& e) {
            release();  // neither committed nor rolled back: what is prepared stays so
            Error::raise(ErrorKind::InDoubt, e.what(), e.codes(), e.sqlcode());
        }
        tra_ = nullptr;
        return;
    }
    Status st;
    tra_->commit(&st);  // releases on success; on failure the transaction is still ours
    tra_ = nullptr;
}

void Transaction::rollback() {
    if (!tra_) return;
    Firebird::ITransaction* t = tra_;
    tra_ = nullptr;
    try {
        Status st;
        t->rollback(&st);
    } catch (...) {
        t->release();
        throw;
    }
}

void Transaction::release() noexcept {
    if (!tra_) return;
    tra_->release();
    tra_ = nullptr;
}

void Transaction::phase(const char* name) const {
    if (phases_) phases_(name);
}

}  // namespace fb
