#pragma once
// The client-side row buffer: rows fetched through a provider, rows added as pending
// inserts, and the apply step that sends them in one transaction. A header buffer carries
// the detail rows of every header row in its nested field, reached through a nested detail
// buffer.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/component.h"
#include "core/date.h"
#include "core/money.h"
#include "records/field_def.h"
#include "records/insert_block.h"
#include "records/params.h"
#include "records/provider.h"

namespace records {

class Buffer;

enum class DataAction { daFail, daAbort, daRetry };

// One column of the buffer's current row, with the typed access and conversions of
// records/conversions.h. Setting requires the row to be in insertion.
class Field {
  public:
    Field(Buffer& buffer, int index) : buffer_(&buffer), index_(index) {}

    const FieldDef& def() const;
    const std::string& name() const { return def().name; }
    int index() const { return index_; }

    bool isNull() const;
    fb::Value value() const;
    std::string asString() const;
    int32_t asInteger() const;
    core::Money asMoney() const;
    double asFloat() const;
    core::Date asDate() const;

    void setValue(const fb::Value& v);  // converted to the column's own type
    void setString(std::string_view text);
    void setInteger(int64_t v);
    void setMoney(core::Money m);
    void setFloat(double d);
    void setDate(const core::Date& d);
    void clear();

  private:
    void store(fb::Value v);  // a value already of the column's type

    Buffer* buffer_;
    int index_;
};

class Buffer : public core::Component {
  public:
    using ErrorHook =
        std::function<void(Buffer& dataSet, const std::exception& e, DataAction& action)>;

    // A buffer fed by `provider`, showing `declared` columns (or, when empty, every column
    // of the result).
    Buffer(std::string name, core::Component* owner, Provider& provider, Layout declared = {},
           records::Params params = {});
    // A nested detail buffer: the rows of `master`'s current row, fed by the master
    // provider's detail dataset.
    Buffer(std::string name, core::Component* owner, Buffer& master, Layout declared = {});
    ~Buffer() override;

    Provider* provider() const { return provider_; }
    Buffer* master() const { return master_; }

    // Statement text used instead of the provider's query when the provider allows it.
    std::string CommandText;
    records::Params Params;
    // Fields of the buffer's current index (none unless set).
    std::vector<std::string> IndexFieldNames;

    // Runs right after Insert has added the row, before the caller sets any column.
    std::function<void(Buffer&)> AfterInsert;
    ErrorHook OnPostError, OnEditError, OnDeleteError;

    void Open();
    // Opens in `tra` (which sees what that transaction wrote), instead of in the connection's
    // reader or a transaction of its own.
    void Open(const fb::Transaction& tra);
    void Close();
    bool Active() const;
    void Insert();
    void Post();
    // Sends the pending rows in a transaction of its own, committed unless more than
    // `maxErrors` rows were refused (-1: any number); the rows sent become saved content.
    int ApplyUpdates(int maxErrors);
    // Sends the pending rows in `tra` and leaves its end to its owner: the rows stay pending
    // (a retry sends them again) until MergeChangeLog, once the owner committed. A lock
    // conflict is not a refused row: it is thrown, without the update-error hook, so that the
    // owner can roll back and try again.
    int ApplyUpdates(int maxErrors, const fb::Transaction& tra);
    // Prepares in `tra` the statements ApplyUpdates would send the pending rows with (the
    // INSERT of each table, the header's and its lines'), and sends nothing: a table that
    // cannot take the rows, a column it lacks, fails here with the database's own error.
    void PrepareUpdates(const fb::Transaction& tra);
    // The rows ApplyUpdates would send, in its order (each header row followed by its lines):
    // their tables, every column of each, and the values. Valid until the buffer changes.
    PendingInserts PendingRows();
    // Sets column `column` of every pending row of the buffer and of its nested rows to
    // `value`, converted as the header's field of that name converts an integer: an id drawn
    // after the rows were built, for the header and the lines that link to it.
    void SetPendingInteger(std::string_view column, int64_t value);
    // Every pending row of the buffer and its nested rows becomes saved content.
    void MergeChangeLog();
    void CancelUpdates();
    // Drops every row that is saved content, as closing would, and keeps the buffer open with
    // its pending rows: a buffer kept open for many invoices holds only what it has to send.
    void DropSaved();
    void Refresh();
    bool Locate(std::string_view fieldName, std::string_view value);
    void FetchParams();
    void Execute();
    // Runs the statement in `tra`, which its owner commits.
    void Execute(const fb::Transaction& tra);
    // Prepares the statement in `tra` and runs nothing.
    void Prepare(const fb::Transaction& tra);

    void First();
    void Next();
    bool Eof() const;
    bool IsEmpty() const;
    int RecordCount() const;
    // Pending rows (and the row being inserted) of this buffer and its nested rows.
    int ChangeCount() const;
    bool inserting() const { return inserting_; }

    Field FieldByName(std::string_view name);
    Field Fields(int index);
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    int FindFieldIndex(std::string_view name) const;
    const Layout& fieldDefs() const { return fields_; }

  private:
    friend class Field;
    struct Row;
    using Rows = std::vector<std::unique_ptr<Row>>;
    struct Row {
        std::vector<fb::Value> values;
        bool pending = false;  // an insert not yet applied
        Rows details;          // a header row's lines
    };

    // A pending row to send, in the order of the apply.
    struct Item {
        Buffer* buffer;
        size_t header;
        Row* row;
        size_t index;
    };

    const ServerDataset& dataset() const;
    std::string statementText() const;
    void open(const fb::Transaction* tra);
    void loadFrom(const fb::Table& table, const fb::Transaction* tra);
    void bindColumns(const std::vector<fb::ColumnInfo>& columns);
    void loadDetails(Row& row, const fb::Transaction* tra);
    std::vector<Item> pendingItems();
    PendingInserts insertRows(const std::vector<Item>& items) const;
    // Sends `items` in `tra`; `saved[k]` tells whether item k was taken. Returns the number of
    // refused rows.
    int send(const fb::Transaction& tra, const std::vector<Item>& items, int maxErrors,
             bool throwLockConflicts, std::vector<bool>& saved);
    Rows& rows();
    const Rows& rows() const;
    Row* current();
    const Row* current() const;
    void checkActive() const;
    // Accepts the row being inserted here and in the nested buffer before the current row
    // moves, so that no column set afterwards lands in another row.
    void acceptInsertion();
    void validateRequired() const;
    std::string insertText();
    const std::vector<fb::Value>& insertValues(const Row& row) const;
    void detailsChanged();

    Provider* provider_ = nullptr;
    Buffer* master_ = nullptr;
    Buffer* detail_ = nullptr;  // the nested buffer shown through our nested field
    Layout declared_;
    Layout fields_;
    std::vector<int> fieldColumn_;  // result column of each field; -1 for the nested field
    std::vector<fb::ColumnInfo> columns_;
    Rows rows_;  // a header buffer's rows (a detail buffer uses its master's current row)
    size_t cur_ = 0;
    // Header rows before this one hold no pending rows (saved invoices stay in the buffer
    // until it closes, and the apply need not walk them again).
    size_t scanFrom_ = 0;
    bool active_ = false;
    bool inserting_ = false;
    bool bound_ = false;  // fields_ made for columns_
    std::string insertSql_;
    // Insert blocks already written, by the rows' buffers in order ('h' this, 'd' the nested
    // one): the same shape of invoice gives the same text, and building it costs more than
    // running it.
    std::map<std::string, std::string, std::less<>> blockTexts_;
};

}  // namespace records
