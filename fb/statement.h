#pragma once
// A prepared statement and the cursor over its result.
#include <memory>
#include <string>
#include <vector>

#include "fb/message.h"
#include "fb/transaction.h"

namespace fb {

class ResultSet;

class Statement {
  public:
    // Prepares `sql` (parameters as "?") in `tra`; the statement outlives the transaction.
    Statement(const Attachment& att, const Transaction& tra, const std::string& sql,
              unsigned dialect);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    const std::string& sql() const { return sql_; }
    const std::vector<ColumnInfo>& inputs() const { return in_->columns(); }
    const std::vector<ColumnInfo>& outputs() const { return out_->columns(); }
    // A SELECT (also of a selectable procedure): rows are read through open().
    bool returnsRows() const { return hasCursor_; }

    // Runs a statement without a cursor. For EXECUTE PROCEDURE the output parameters come
    // back as the row; a statement with a cursor runs as a singleton select and gives its
    // one row; otherwise the row is empty.
    std::vector<Value> execute(const Transaction& tra, const std::vector<Value>& params);
    // Opens a cursor; the result set must be closed before the statement runs again.
    ResultSet open(const Transaction& tra, const std::vector<Value>& params);

  private:
    friend class ResultSet;
    const Attachment& att_;
    std::string sql_;
    Firebird::IStatement* stmt_ = nullptr;
    std::unique_ptr<Message> in_;
    std::unique_ptr<Message> out_;
    bool hasCursor_ = false;
};

// Rows of an open cursor, fetched one at a time. Closed on destruction.
class ResultSet {
  public:
    ResultSet(ResultSet&& other) noexcept;
    ~ResultSet();
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;
    ResultSet& operator=(ResultSet&&) = delete;

    const std::vector<ColumnInfo>& columns() const { return stmt_->outputs(); }
    // Moves to the next row; false at the end.
    bool next();
    const std::vector<Value>& row() const { return row_; }
    void close();

  private:
    friend class Statement;
    ResultSet(Statement* stmt, const Transaction& tra, Firebird::IResultSet* rs)
        : stmt_(stmt), tra_(&tra), rs_(rs) {}
    Statement* stmt_;
    const Transaction* tra_;
    Firebird::IResultSet* rs_;
    std::vector<Value> row_;
};

}  // namespace fb
