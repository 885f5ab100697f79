#include "fb/blob.h"

#include <algorithm>

#include "fb/attachment.h"
#include "fb/transaction.h"

namespace fb {
namespace {

constexpr size_t kSegment = 32768;

}  // namespace

Blob Blob::create(const Attachment& att, const Transaction& tra, ISC_QUAD& id) {
    Status st;
    return Blob(att.get()->createBlob(&st, tra.get(), &id, 0, nullptr));
}

Blob Blob::open(const Attachment& att, const Transaction& tra, const ISC_QUAD& id) {
    Status st;
    ISC_QUAD copy = id;  // the call takes a pointer it does not write through
    return Blob(att.get()->openBlob(&st, tra.get(), &copy, 0, nullptr));
}

Blob::~Blob() {
    if (!blob_) return;
    Firebird::IBlob* b = blob_;
    blob_ = nullptr;
    try {
        Status st;
        b->cancel(&st);  // releases the interface on success
    } catch (...) {
        b->release();  // a lost attachment: nothing to cancel on the server's side
    }
}

void Blob::write(const std::string& bytes) {
    Status st;
    for (size_t off = 0; off < bytes.size();) {
        const unsigned n = static_cast<unsigned>(std::min(bytes.size() - off, kSegment));
        blob_->putSegment(&st, n, bytes.data() + off);
        off += n;
    }
}

std::string Blob::readAll() {
    std::string bytes;
    char chunk[kSegment];
    Status st;
    for (;;) {
        unsigned got = 0;
        const int r = blob_->getSegment(&st, sizeof chunk, chunk, &got);
        if (r == Firebird::IStatus::RESULT_NO_DATA) break;
        bytes.append(chunk, got);
    }
    return bytes;
}

void Blob::close() {
    if (!blob_) return;
    Firebird::IBlob* b = blob_;
    blob_ = nullptr;
    try {
        Status st;
        b->close(&st);  // releases the interface on success
    } catch (...) {
        b->release();
        throw;
    }
}

}  // namespace fb
