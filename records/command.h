#pragma once
// The command buffers' way of running a statement: close the buffer, set its statement text
// and its parameters (":NAME" in the text), then open it, or execute a statement that returns
// no rows. A text that carries no value is prepared once per connection.
#include <initializer_list>
#include <string>
#include <utility>

#include "records/buffer.h"

namespace records {

// Parameters by name, each with its value.
Params values(std::initializer_list<std::pair<const char*, fb::Value>> list);

// Opens `b` on `sql` (in `tra` when given); it then stands on its first row, if any.
void openCommand(Buffer& b, std::string sql, Params params = {},
                 const fb::Transaction* tra = nullptr);
// Executes `sql` through `b` in `tra`.
void executeCommand(Buffer& b, std::string sql, Params params, const fb::Transaction& tra);
// Prepares `sql` through `b` in `tra`, as openCommand or executeCommand would send it, and runs
// nothing (a dry run's look at whether the database takes the statement).
void prepareCommand(Buffer& b, std::string sql, const fb::Transaction& tra);

}  // namespace records
