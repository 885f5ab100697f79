#pragma once
// The RAII owner of a blob handle, created to be written or opened to be read in a
// transaction. Internal to fb/.
#include <string>

#include "fb/api.h"

namespace fb {

class Attachment;
class Transaction;

class Blob {
  public:
    // A new blob in `tra`; `id` receives the identifier a column stores.
    static Blob create(const Attachment& att, const Transaction& tra, ISC_QUAD& id);
    // The blob a column holds as `id`, to be read.
    static Blob open(const Attachment& att, const Transaction& tra, const ISC_QUAD& id);
    // A blob neither closed nor cancelled is cancelled: a new one is discarded.
    ~Blob();
    Blob(Blob&& other) noexcept : blob_(other.blob_) { other.blob_ = nullptr; }
    Blob(const Blob&) = delete;
    Blob& operator=(const Blob&) = delete;
    Blob& operator=(Blob&&) = delete;

    // Writes `bytes` in segments.
    void write(const std::string& bytes);
    // Reads the whole blob from where it stands.
    std::string readAll();
    // Ends the blob (a new one is then stored). A failure is thrown, and the handle is
    // released all the same.
    void close();

  private:
    explicit Blob(Firebird::IBlob* blob) : blob_(blob) {}

    Firebird::IBlob* blob_;
};

}  // namespace fb
