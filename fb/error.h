#pragma once
// A failure reported by Firebird: the server's (or client library's) own English text.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace fb {

class Error : public std::runtime_error {
  public:
    // `gdscode`: the first error code of the status vector (0 for errors raised by this layer).
    explicit Error(const std::string& message, intptr_t gdscode = 0, int sqlcode = 0)
        : std::runtime_error(message), gdscode_(gdscode), sqlcode_(sqlcode) {}

    intptr_t gdscode() const { return gdscode_; }
    int sqlcode() const { return sqlcode_; }

  private:
    intptr_t gdscode_;
    int sqlcode_;
};

}  // namespace fb
