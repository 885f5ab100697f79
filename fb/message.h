#pragma once
// A message buffer laid out by a statement's input or output metadata, with the conversions
// between fb::Value and the wire format of each column.
#include <memory>
#include <vector>

#include "fb/api.h"
#include "fb/value.h"

namespace fb {

class Attachment;
class Transaction;

class Message {
  public:
    // Takes a reference on `meta` (may be null: a statement without inputs or outputs).
    explicit Message(Firebird::IMessageMetadata* meta);
    ~Message();
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    const std::vector<ColumnInfo>& columns() const { return columns_; }
    Firebird::IMessageMetadata* metadata() const { return meta_; }
    unsigned char* buffer() { return reinterpret_cast<unsigned char*>(buf_.get()); }

    // Writes `values` (one per column; missing ones are NULL). A value that does not fit its
    // column throws fb::Error with the server's wording for the same fault.
    void encode(const std::vector<Value>& values, const Attachment& att, const Transaction& tra);
    // Reads every column; blobs are fetched whole.
    std::vector<Value> decode(const Attachment& att, const Transaction& tra);

  private:
    void encodeOne(unsigned i, const Value& v, const Attachment& att, const Transaction& tra);
    Value decodeOne(unsigned i, const Attachment& att, const Transaction& tra);

    Firebird::IMessageMetadata* meta_ = nullptr;
    std::vector<ColumnInfo> columns_;
    std::vector<unsigned> types_, offsets_, nullOffsets_, lengths_;
    std::vector<int> scales_;
    std::unique_ptr<uint64_t[]> buf_;  // 8-byte aligned
};

// Columns of a metadata object, with their logical types.
std::vector<ColumnInfo> describe(Firebird::IMessageMetadata* meta);

}  // namespace fb
