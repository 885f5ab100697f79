#include "fb/attachment.h"

#include <vector>

namespace fb {
namespace {

// Builds a parameter block; the builder is disposed on every path.
class Xpb {
  public:
    Xpb(unsigned kind) {
        Status st;
        b_ = util()->getXpbBuilder(&st, kind, nullptr, 0);
    }
    ~Xpb() { b_->dispose(); }
    Xpb(const Xpb&) = delete;
    Xpb& operator=(const Xpb&) = delete;

    void tag(unsigned char t) {
        Status st;
        b_->insertTag(&st, t);
    }
    void str(unsigned char t, const std::string& s) {
        Status st;
        b_->insertString(&st, t, s.c_str());
    }
    void num(unsigned char t, int v) {
        Status st;
        b_->insertInt(&st, t, v);
    }
    std::vector<unsigned char> bytes() {
        Status st;
        const unsigned char* p = b_->getBuffer(&st);
        unsigned n = b_->getBufferLength(&st);
        return std::vector<unsigned char>(p, p + n);
    }

  private:
    Firebird::IXpbBuilder* b_;
};

}  // namespace

namespace {

std::vector<unsigned char> buildDpb(const AttachOptions& o, const std::string& defaultCharSet) {
    Xpb dpb(Firebird::IXpbBuilder::DPB);
    if (!o.user.empty()) dpb.str(isc_dpb_user_name, o.user);
    if (!o.password.empty()) dpb.str(isc_dpb_password, o.password);
    dpb.str(isc_dpb_lc_ctype, o.charSet.empty() ? "NONE" : o.charSet);
    if (!o.role.empty()) dpb.str(isc_dpb_sql_role_name, o.role);
    dpb.num(isc_dpb_sql_dialect, o.dialect);
    if (!defaultCharSet.empty()) dpb.str(isc_dpb_set_db_charset, defaultCharSet);
    return dpb.bytes();
}

}  // namespace

Attachment::Attachment(const std::string& database, const AttachOptions& o) {
    std::vector<unsigned char> b = buildDpb(o, {});
    Status st;
    att_ = provider()->attachDatabase(&st, database.c_str(), static_cast<unsigned>(b.size()),
                                      b.data());
}

Attachment Attachment::create(const std::string& database, const AttachOptions& o,
                              const std::string& defaultCharSet) {
    std::vector<unsigned char> b = buildDpb(o, defaultCharSet);
    Status st;
    Attachment a;
    a.att_ = provider()->createDatabase(&st, database.c_str(), static_cast<unsigned>(b.size()),
                                        b.data());
    return a;
}

Attachment::~Attachment() {
    try {
        detach();
    } catch (...) {
        // Nothing can be reported from a destructor; the handle is released by detach().
    }
}

Attachment& Attachment::operator=(Attachment&& other) noexcept {
    if (this != &other) {
        try {
            detach();
        } catch (...) {
        }
        att_ = other.att_;
        other.att_ = nullptr;
    }
    return *this;
}

void Attachment::detach() {
    if (!att_) return;
    Firebird::IAttachment* a = att_;
    att_ = nullptr;
    try {
        Status st;
        a->detach(&st);  // releases the interface on success
    } catch (...) {
        a->release();
        throw;
    }
}

Transaction::Transaction(const Attachment& attachment, const TransactionOptions& o) {
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
    std::vector<unsigned char> b = tpb.bytes();
    Status st;
    tra_ = attachment.get()->startTransaction(&st, static_cast<unsigned>(b.size()), b.data());
}

Transaction::~Transaction() {
    try {
        rollback();
    } catch (...) {
    }
}

void Transaction::commit() {
    if (!tra_) throw Error("Transaction is not active");
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

}  // namespace fb
