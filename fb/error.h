#pragma once
// A failure reported by Firebird: the server's (or client library's) own English text, with
// the error codes of its status vector. A failure read from a status vector is thrown as the
// type its codes call for (the classes below), so that callers catch the kinds they handle by
// type; any other failure, and those this layer raises itself, are a plain Error.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace fb {

enum class ErrorKind {
    Other,           // Error itself
    UniqueKey,       // UniqueKeyViolation
    ForeignKey,      // ForeignKeyViolation
    LockConflict,    // LockConflict
    UnknownObject,   // UnknownObject
    LostConnection,  // LostConnection
    InDoubt,         // InDoubt
};

class Error : public std::runtime_error {
  public:
    // `codes`: the error codes of the status vector in their order (none for errors raised by
    // this layer).
    explicit Error(const std::string& message, std::vector<intptr_t> codes = {}, int sqlcode = 0)
        : std::runtime_error(message), codes_(std::move(codes)), sqlcode_(sqlcode) {}

    // The kind of the type this object is.
    virtual ErrorKind kind() const { return ErrorKind::Other; }

    // The first code of the status vector, or 0.
    intptr_t gdscode() const { return codes_.empty() ? 0 : codes_.front(); }
    const std::vector<intptr_t>& codes() const { return codes_; }
    bool has(intptr_t code) const;
    int sqlcode() const { return sqlcode_; }

    // Another transaction holds or changed a row this one needs: an update conflict, a
    // deadlock, a lock conflict with a transaction that does not wait, or a wait that timed
    // out. Trying the whole transaction again may succeed. Read from the codes, so that it
    // also answers for an Error built by hand.
    bool lockConflict() const;
    // The attachment is gone (network failure, server shut down): nothing more can be sent.
    // Read from the codes, as lockConflict().
    bool lostConnection() const;

    // The kind a status vector's codes call for. A lost connection comes first (nothing can
    // be retried on it), then a lock conflict (the statement may succeed when tried again).
    static ErrorKind kindOf(const std::vector<intptr_t>& codes);
    // Throws the failure of a status vector as the type its codes call for.
    [[noreturn]] static void raise(const std::string& message, std::vector<intptr_t> codes,
                                   int sqlcode);
    // Throws an object of the type of `kind`.
    [[noreturn]] static void raise(ErrorKind kind, const std::string& message,
                                   std::vector<intptr_t> codes, int sqlcode);

    // Throws the same failure, of the same type, with `prefix` before its text.
    [[noreturn]] void rethrowWithPrefix(const std::string& prefix) const;

  private:
    std::vector<intptr_t> codes_;
    int sqlcode_;
};

// A row whose key another row already holds: a PRIMARY KEY or UNIQUE constraint
// (isc_unique_key_violation), or a unique index that belongs to no constraint (isc_no_dup).
class UniqueKeyViolation : public Error {
  public:
    using Error::Error;
    ErrorKind kind() const override { return ErrorKind::UniqueKey; }
    // Whether the server named a constraint ("violation of PRIMARY or UNIQUE KEY
    // constraint ..."), rather than only an index ("attempt to store duplicate value ...").
    bool constraintNamed() const;
};

// A row that refers to a missing one, or is still referred to (isc_foreign_key).
class ForeignKeyViolation : public Error {
  public:
    using Error::Error;
    ErrorKind kind() const override { return ErrorKind::ForeignKey; }
};

// What lockConflict() recognises (unless the connection is lost as well): the retries and
// the buffers' apply go by this type.
class LockConflict : public Error {
  public:
    using Error::Error;
    ErrorKind kind() const override { return ErrorKind::LockConflict; }
};

// A statement names a table, view, procedure, function, column or domain the database does
// not have.
class UnknownObject : public Error {
  public:
    using Error::Error;
    ErrorKind kind() const override { return ErrorKind::UnknownObject; }
};

// What lostConnection() recognises.
class LostConnection : public Error {
  public:
    using Error::Error;
    ErrorKind kind() const override { return ErrorKind::LostConnection; }
};

// The second phase of a distributed commit failed (fb::Transaction::commit): every part was
// prepared, some may have committed, and those that did not stay in limbo. Nothing about the
// transaction can be known or done on these attachments; the limbo recovery of a later run
// resolves it. Raised with the failure's own text and codes (mostly those of a lost link).
class InDoubt : public Error {
  public:
    using Error::Error;
    ErrorKind kind() const override { return ErrorKind::InDoubt; }
};

// The Firebird client library cannot be loaded (on Windows fbclient.dll, loaded when first
// needed): missing, not loadable, or no Firebird 3 client. The message names the file.
class ClientMissing : public Error {
  public:
    using Error::Error;
};

}  // namespace fb
