#pragma once
// A failure reported by Firebird: the server's (or client library's) own English text, with
// the error codes of its status vector.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace fb {

class Error : public std::runtime_error {
  public:
    // `codes`: the error codes of the status vector in their order (none for errors raised by
    // this layer).
    explicit Error(const std::string& message, std::vector<intptr_t> codes = {}, int sqlcode = 0)
        : std::runtime_error(message), codes_(std::move(codes)), sqlcode_(sqlcode) {}

    // The first code of the status vector, or 0.
    intptr_t gdscode() const { return codes_.empty() ? 0 : codes_.front(); }
    const std::vector<intptr_t>& codes() const { return codes_; }
    bool has(intptr_t code) const;
    int sqlcode() const { return sqlcode_; }

    // Another transaction holds or changed a row this one needs: an update conflict, a
    // deadlock, a lock conflict with a transaction that does not wait, or a wait that timed
    // out. Trying the whole transaction again may succeed.
    bool lockConflict() const;
    // The attachment is gone (network failure, server shut down): nothing more can be sent.
    bool lostConnection() const;

    // The same failure with `prefix` before its text.
    Error withPrefix(const std::string& prefix) const {
        return Error(prefix + what(), codes_, sqlcode_);
    }

  private:
    std::vector<intptr_t> codes_;
    int sqlcode_;
};

}  // namespace fb
