// The buffer's apply path: the pending rows in the order they are sent, the INSERT of each
// table and the blocks of several rows (records/insert_block.h), the transaction of an apply
// of its own or of its owner, and the refused rows told through the provider's hook.
#include "records/buffer.h"

#include <algorithm>

#include "core/text.h"
#include "records/conversions.h"
#include "records/insert_block.h"

namespace records {

std::string Buffer::insertText() {
    if (insertSql_.empty()) {
        std::string cols, marks;
        for (const fb::ColumnInfo& c : columns_) {
            const std::string& n = c.field.empty() ? c.name : c.field;
            cols += (cols.empty() ? "\"" : ", \"") + n + "\"";
            marks += marks.empty() ? "?" : ", ?";
        }
        insertSql_ =
            "INSERT INTO " + dataset().tableName() + " (" + cols + ") VALUES (" + marks + ")";
    }
    return insertSql_;
}

const std::vector<fb::Value>& Buffer::insertValues(const Row& row) const {
    return row.values;
}

PendingInserts Buffer::insertRows(const std::vector<Item>& items) const {
    PendingInserts p;
    p.tables.reserve(items.size());  // the rows point into it
    for (const Item& it : items) {
        const std::string table = it.buffer->dataset().tableName();
        auto found = std::find(p.tables.begin(), p.tables.end(), table);
        if (found == p.tables.end()) found = p.tables.insert(p.tables.end(), table);
        p.rows.push_back({&*found, &it.buffer->columns_, &it.buffer->insertValues(*it.row)});
    }
    return p;
}

PendingInserts Buffer::PendingRows() {
    if (master_) return master_->PendingRows();
    checkActive();
    acceptInsertion();
    return insertRows(pendingItems());
}

void Buffer::SetPendingInteger(std::string_view column, int64_t value) {
    if (master_) {
        master_->SetPendingInteger(column, value);
        return;
    }
    checkActive();
    acceptInsertion();
    const fb::Value v = valueFromInt(FieldByName(column).def(), value);
    for (const Item& it : pendingItems()) {
        const std::vector<fb::ColumnInfo>& columns = it.buffer->columns_;
        for (size_t c = 0; c < columns.size(); ++c)
            if (core::equalsNoCase(columns[c].name, column)) it.row->values[c] = v;
    }
}

std::vector<Buffer::Item> Buffer::pendingItems() {
    // Header rows in the order added, each followed by its lines in the order added.
    std::vector<Item> items;
    for (size_t h = scanFrom_; h < rows_.size(); ++h) {
        if (rows_[h]->pending) items.push_back({this, h, rows_[h].get(), h});
        if (detail_)
            for (size_t d = 0; d < rows_[h]->details.size(); ++d)
                if (rows_[h]->details[d]->pending)
                    items.push_back({detail_, h, rows_[h]->details[d].get(), d});
    }
    return items;
}

int Buffer::send(const fb::Transaction& tra, const std::vector<Item>& items, int maxErrors,
                 bool throwLockConflicts, std::vector<bool>& saved) {
    const ServerDataset& ds = dataset();
    int errors = 0;
    saved.assign(items.size(), false);
    // One row on its own, as a refused one is told: true when the apply stops there.
    auto sendOne = [&](size_t k) {
        const Item& it = items[k];
        try {
            ds.run(tra, it.buffer->insertText(), it.buffer->insertValues(*it.row));
            saved[k] = true;
            return false;
        } catch (const fb::Error& e) {
            if (throwLockConflicts && e.kind() == fb::ErrorKind::LockConflict) throw;
            ++errors;
            ResolverResponse response = ResolverResponse::rrAbort;
            if (provider_->OnUpdateError) {
                // The hook sees the refused row as the current row of its buffer.
                size_t savedCur = cur_, savedDetailCur = detail_ ? detail_->cur_ : 0;
                cur_ = it.header;
                if (it.buffer != this) it.buffer->cur_ = it.index;
                provider_->OnUpdateError(*provider_, *it.buffer, e, UpdateKind::ukInsert, response);
                cur_ = savedCur;
                if (detail_) detail_->cur_ = savedDetailCur;
            }
            return response == ResolverResponse::rrAbort || (maxErrors >= 0 && errors > maxErrors);
        }
    };

    // Over a network the rows go in blocks (records/insert_block.h), in process one by one
    // (fb::Connection::insertsInBlocks). A block the database refuses undoes itself whole;
    // its rows are then sent one by one, so that the refused one is found and told exactly
    // as it would be on its own.
    if (items.size() < 2 || !ds.connection().insertsInBlocks()) {
        for (size_t k = 0; k < items.size(); ++k)
            if (sendOne(k)) break;
        return errors;
    }
    const PendingInserts pending = insertRows(items);
    const std::vector<InsertRow>& rows = pending.rows;
    auto textOf = [&](size_t first, size_t last) -> const std::string& {
        std::string shape;
        for (size_t i = first; i < last; ++i) shape += items[i].buffer == this ? 'h' : 'd';
        auto found = blockTexts_.find(shape);
        if (found == blockTexts_.end())
            found = blockTexts_.emplace(shape, blockText(rows, first, last)).first;
        return found->second;
    };
    for (size_t k = 0; k < items.size();) {
        const size_t n = rowsInBlock(rows, k);
        if (n > 1) {
            try {
                ds.run(tra, textOf(k, k + n), blockValues(rows, k, k + n));
                for (size_t i = k; i < k + n; ++i) saved[i] = true;
                k += n;
                continue;
            } catch (const fb::Error& e) {
                if (throwLockConflicts && e.kind() == fb::ErrorKind::LockConflict) throw;
            }
        }
        for (size_t i = k; i < k + n; ++i)
            if (sendOne(i)) return errors;
        k += n;
    }
    return errors;
}

int Buffer::ApplyUpdates(int maxErrors) {
    if (master_) return master_->ApplyUpdates(maxErrors);
    checkActive();
    acceptInsertion();
    const std::vector<Item> items = pendingItems();
    if (items.empty()) {
        scanFrom_ = rows_.size();
        return 0;
    }

    fb::Transaction tra = dataset().connection().begin();
    std::vector<bool> saved;
    const int errors = send(tra, items, maxErrors, false, saved);
    // Stopping at a row does not decide the outcome: only the count of refused rows does.
    if (maxErrors >= 0 && errors > maxErrors) {
        tra.rollback();
        return errors;
    }
    tra.commit();
    // Refused rows, and rows not sent after the apply stopped, stay pending.
    for (size_t k = 0; k < items.size(); ++k)
        if (saved[k]) items[k].row->pending = false;
    if (errors == 0 && std::all_of(saved.begin(), saved.end(), [](bool b) { return b; }))
        scanFrom_ = rows_.size();
    return errors;
}

int Buffer::ApplyUpdates(int maxErrors, const fb::Transaction& tra) {
    if (master_) return master_->ApplyUpdates(maxErrors, tra);
    checkActive();
    acceptInsertion();
    const std::vector<Item> items = pendingItems();
    std::vector<bool> saved;
    return items.empty() ? 0 : send(tra, items, maxErrors, true, saved);
}

void Buffer::PrepareUpdates(const fb::Transaction& tra) {
    if (master_) {
        master_->PrepareUpdates(tra);
        return;
    }
    checkActive();
    acceptInsertion();
    bool header = false, lines = false;
    for (const Item& it : pendingItems()) (it.buffer == this ? header : lines) = true;
    if (header) dataset().prepare(tra, insertText());
    if (lines) detail_->dataset().prepare(tra, detail_->insertText());
}

void Buffer::MergeChangeLog() {
    if (master_) {
        master_->MergeChangeLog();
        return;
    }
    acceptInsertion();
    for (const Item& it : pendingItems()) it.row->pending = false;
    scanFrom_ = rows_.size();
}

}  // namespace records
