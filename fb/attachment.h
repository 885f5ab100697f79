#pragma once
// The RAII owner of an attachment to one database.
#include <string>

#include "fb/api.h"

namespace fb {

struct AttachOptions {
    std::string user;
    std::string password;
    std::string charSet;  // lc_ctype; empty: NONE (bytes pass unchanged)
    std::string role;     // empty: none
    int dialect = 3;
};

// One attachment to a database: a plain path opens the file in-process (embedded engine),
// "host:path" or "host/port:path" goes through a server. Detached on destruction.
class Attachment {
  public:
    Attachment() = default;
    Attachment(const std::string& database, const AttachOptions& options);
    // Creates a new database file (default character set `charSet` when given) and attaches.
    static Attachment create(const std::string& database, const AttachOptions& options,
                             const std::string& defaultCharSet = {});
    ~Attachment();
    Attachment(Attachment&& other) noexcept : att_(other.att_) { other.att_ = nullptr; }
    Attachment& operator=(Attachment&& other) noexcept;
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    // Detaches now; a failure is thrown, and the handle is released all the same.
    void detach();
    Firebird::IAttachment* get() const { return att_; }
    explicit operator bool() const { return att_ != nullptr; }

  private:
    Firebird::IAttachment* att_ = nullptr;
};

}  // namespace fb
