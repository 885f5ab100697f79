#pragma once
// The data module's server-side datasets: a query, a whole table or a stored procedure on
// one connection. Every statement they send goes through here, so that a refused statement
// reads "SQL Server Error: " followed by the server's message.
#include <string>

#include "core/component.h"
#include "fb/connection.h"
#include "records/params.h"

namespace records {

class ServerDataset : public core::Component {
  public:
    enum class Kind { Query, Table, StoredProc };

    ServerDataset(std::string name, core::Component* owner, fb::Connection& connection, Kind kind,
                  std::string text, Params params = {});

    Kind kind() const { return kind_; }
    fb::Connection& connection() const { return *connection_; }
    // Binds the dataset to another connection of the same kind of database (the branch
    // datasets follow the branch whose copy is being made). What its buffers loaded stays.
    void setConnection(fb::Connection& connection) { connection_ = &connection; }
    const std::string& text() const { return text_; }
    Params& params() { return params_; }
    const Params& params() const { return params_; }

    // The nested detail query fed by this one's current row (its parameters take the values
    // of this query's columns of the same names).
    void setDetail(ServerDataset* detail) { detail_ = detail; }
    ServerDataset* detail() const { return detail_; }

    // The statement behind the dataset: its query text, or "SELECT * FROM " + table.
    std::string selectText() const;
    // The table that rows inserted through this dataset go to: the one named after FROM.
    std::string tableName() const;

    // Statements opened through this dataset never write (lookups): they run in the
    // connection's reader (fb::Connection::read) rather than each in a transaction of its
    // own. Off unless set; statements that are executed, not opened, are not affected.
    void setReadsOnly(bool on) { readsOnly_ = on; }
    bool readsOnly() const { return readsOnly_; }

    // Runs a query `sql` (":NAME" parameters taken from `params`): in the reader when the
    // dataset reads only, otherwise in its own committed transaction.
    fb::Table open(const std::string& sql, const Params& params) const;
    // Runs a statement that may write, such as EXECUTE PROCEDURE, in its own committed
    // transaction.
    fb::Table execute(const std::string& sql, const Params& params) const;
    // Runs `sql` (":NAME" parameters taken from `params`) in `tra`, which its owner commits.
    fb::Table run(const fb::Transaction& tra, const std::string& sql, const Params& params) const;
    fb::Table run(const fb::Transaction& tra, const std::string& sql,
                  const std::vector<fb::Value>& values) const;
    std::vector<fb::ColumnInfo> describe(const std::string& sql) const;
    // Prepares `sql` (":NAME" parameters) in `tra` as run() would send it, and runs nothing: a
    // statement the database would refuse to prepare fails here with the same error.
    void prepare(const fb::Transaction& tra, const std::string& sql) const;

    // Stored procedure: "EXECUTE PROCEDURE name(?, ...)" with the input parameters; the output
    // parameters receive the values the procedure returns.
    void ExecProc();
    // The same in `tra`, which its owner commits.
    void ExecProc(const fb::Transaction& tra);
    // Prepares ExecProc's statement in `tra` without executing it.
    void PrepareProc(const fb::Transaction& tra);

  private:
    void execProc(const fb::Transaction* tra);
    // "EXECUTE PROCEDURE name(?, ...)" for the input parameters, and their values.
    std::string procText(std::vector<fb::Value>* inputs) const;

    fb::Connection* connection_;
    Kind kind_;
    std::string text_;
    Params params_;
    ServerDataset* detail_ = nullptr;
    bool readsOnly_ = false;
};

// The first table named after FROM in a SELECT text (upper case), or "".
std::string tableOfSelect(std::string_view sql);

// Rethrows a statement failure in the shape the error translation expects.
[[noreturn]] void throwServerError(const fb::Error& e);

}  // namespace records
