#include "fb/statement.h"

namespace fb {
Statement::Statement(const Attachment& att, const Transaction& tra, const std::string& sql,
                     unsigned dialect)
    : att_(att), sql_(sql) {
    Status st;
    stmt_ = att.get()->prepare(&st, tra.get(), static_cast<unsigned>(sql.size()), sql.c_str(),
                               dialect, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
    try {
        // Message takes its own reference; drop the ones the getters gave us.
        Firebird::IMessageMetadata* in = stmt_->getInputMetadata(&st);
        in_ = std::make_unique<Message>(in);
        in->release();
        Firebird::IMessageMetadata* out = stmt_->getOutputMetadata(&st);
        out_ = std::make_unique<Message>(out);
        out->release();
        hasCursor_ = (stmt_->getFlags(&st) & Firebird::IStatement::FLAG_HAS_CURSOR) != 0;
    } catch (...) {
        stmt_->release();
        throw;
    }
}

Statement::~Statement() {
    if (!stmt_) return;
    try {
        Status st;
        stmt_->free(&st);
    } catch (...) {
        stmt_->release();
    }
}

std::vector<Value> Statement::execute(const Transaction& tra, const std::vector<Value>& params) {
    in_->encode(params, att_, tra);
    Status st;
    bool hasOut = !out_->columns().empty();
    stmt_->execute(&st, tra.get(), in_->metadata(), in_->buffer(),
                   hasOut ? out_->metadata() : nullptr, hasOut ? out_->buffer() : nullptr);
    return hasOut ? out_->decode(att_, tra) : std::vector<Value>{};
}

ResultSet Statement::open(const Transaction& tra, const std::vector<Value>& params) {
    in_->encode(params, att_, tra);
    Status st;
    Firebird::IResultSet* rs =
        stmt_->openCursor(&st, tra.get(), in_->metadata(), in_->buffer(), out_->metadata(), 0);
    return ResultSet(this, tra, rs);
}

ResultSet::ResultSet(ResultSet&& o) noexcept
    : stmt_(o.stmt_), tra_(o.tra_), rs_(o.rs_), row_(std::move(o.row_)) {
    o.rs_ = nullptr;
}

ResultSet::~ResultSet() {
    try {
        close();
    } catch (...) {
    }
}

bool ResultSet::next() {
    if (!rs_) return false;
    Status st;
    if (rs_->fetchNext(&st, stmt_->out_->buffer()) != Firebird::IStatus::RESULT_OK) return false;
    row_ = stmt_->out_->decode(stmt_->att_, *tra_);
    return true;
}

void ResultSet::close() {
    if (!rs_) return;
    Firebird::IResultSet* rs = rs_;
    rs_ = nullptr;
    try {
        Status st;
        rs->close(&st);
    } catch (...) {
        rs->release();
        throw;
    }
}

}  // namespace fb
