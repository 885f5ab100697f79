#pragma once
// Failures of the buffers, queries and parameter lists themselves, as opposed to those of the
// database (fb::Error: a statement the database refused, its text the server's). Each type
// carries the text that is shown as it stands, so that callers, the error translation above
// all, choose what they handle by type and never by reading the text back.
#include <stdexcept>
#include <string>

#include "core/errors.h"

namespace records {

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A row accepted while a required field holds no value: "Field 'X' must have a value".
class RequiredFieldEmpty : public Error {
  public:
    explicit RequiredFieldEmpty(std::string field)
        : Error("Field '" + field + "' must have a value"), field_(std::move(field)) {}
    const std::string& field() const { return field_; }

  private:
    std::string field_;
};

// A field asked for by a name or a position that the buffer or query does not have, or a
// declared field that the result of the buffer's query lacks: "<buffer>: Field 'X' not
// found", "<buffer>: List index out of bounds (7)".
class UnknownField : public Error {
  public:
    using Error::Error;
};

// A parameter asked for by a name the list does not have: "Parameter 'X' not found".
class UnknownParameter : public Error {
  public:
    using Error::Error;
};

// A declared field whose column in the query's result is of another type.
class TypeMismatch : public Error {
  public:
    using Error::Error;
};

// An operation the buffer's state or kind does not allow: a closed buffer, a field set
// outside an insertion or with no column behind it, a refresh while changes are pending, a
// statement run through a nested buffer, a line without a header row.
class Misuse : public Error {
  public:
    using Error::Error;
};

// A value that does not convert to a field's type, set into or read from the field; the
// text is the conversion's own ("'abc' is not a valid integer value"). A conversion error of
// core, so that callers that catch those catch it too.
class FieldConversionError : public core::ConversionError {
  public:
    FieldConversionError(std::string field, const std::string& text)
        : core::ConversionError(text), field_(std::move(field)) {}
    const std::string& field() const { return field_; }

  private:
    std::string field_;
};

}  // namespace records
