#pragma once
// Failures that are not the database's own (those are fb::Error).
#include <stdexcept>
#include <string>

namespace core {

// A text that does not convert to the type asked for, for example "'abc' is not a valid
// integer value". The message is the conversion's own and is shown as it stands.
class ConversionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Unwinds the caller's work after the failure has already been shown to the user: the
// default failure box must not show it a second time.
class SilentAbort : public std::exception {
  public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace core
