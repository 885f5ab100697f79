// The buffer's rows and fields: opening, navigation, insertion and the typed access to the
// current row. The apply path is records/buffer_apply.cpp.
#include "records/buffer.h"

#include <algorithm>

#include "core/errors.h"
#include "core/text.h"
#include "records/conversions.h"
#include "records/errors.h"

namespace records {
namespace {

// Runs a conversion of field `f`'s value, its failure told as the field's.
template <typename Convert>
auto converting(const Field& f, Convert&& convert) {
    try {
        return convert();
    } catch (const core::ConversionError& e) {
        throw FieldConversionError(f.name(), e.what());
    }
}

}  // namespace

// ---- construction --------------------------------------------------------------------------

Buffer::Buffer(std::string name, core::Component* owner, Provider& provider, Layout declared,
               records::Params params)
    : Component(std::move(name), owner),
      Params(std::move(params)),
      provider_(&provider),
      declared_(std::move(declared)) {}

Buffer::Buffer(std::string name, core::Component* owner, Buffer& master, Layout declared)
    : Component(std::move(name), owner), master_(&master), declared_(std::move(declared)) {
    master.detail_ = this;
}

Buffer::~Buffer() {
    if (master_ && master_->detail_ == this) master_->detail_ = nullptr;
    if (detail_) detail_->master_ = nullptr;
}

const ServerDataset& Buffer::dataset() const {
    if (master_) {
        const ServerDataset* d = master_->dataset().detail();
        if (!d) throw Misuse(name() + ": the master's dataset has no detail");
        return *d;
    }
    if (!provider_) throw Misuse(name() + ": Missing data provider or data packet");
    return provider_->dataset();
}

std::string Buffer::statementText() const {
    if (!master_ && provider_->has(ProviderOption::poAllowCommandText) && !CommandText.empty())
        return CommandText;
    return dataset().selectText();
}

// ---- rows ----------------------------------------------------------------------------------

Buffer::Rows& Buffer::rows() {
    if (!master_) return rows_;
    Row* m = master_->current();
    static Rows none;  // a detail buffer without a current header shows no rows
    if (!m) none.clear();
    return m ? m->details : none;
}

const Buffer::Rows& Buffer::rows() const {
    return const_cast<Buffer*>(this)->rows();
}

Buffer::Row* Buffer::current() {
    Rows& r = rows();
    return cur_ < r.size() ? r[cur_].get() : nullptr;
}

const Buffer::Row* Buffer::current() const {
    return const_cast<Buffer*>(this)->current();
}

void Buffer::detailsChanged() {
    if (detail_) {
        detail_->cur_ = 0;
        detail_->inserting_ = false;
        detail_->detailsChanged();
    }
}

void Buffer::checkActive() const {
    if (!Active()) throw Misuse(name() + ": Cannot perform this operation on a closed dataset");
}

// ---- open, close, refresh ------------------------------------------------------------------

bool Buffer::Active() const {
    return master_ ? master_->Active() : active_;
}

void Buffer::bindColumns(const std::vector<fb::ColumnInfo>& columns) {
    // Reopening the same table gives the same columns: the fields and the texts written for
    // them stand. Another database may give the table other columns.
    if (bound_ && columns == columns_) return;
    insertSql_.clear();
    blockTexts_.clear();
    if (master_) master_->blockTexts_.clear();
    bound_ = false;  // until the fields are made
    columns_ = columns;
    fields_.clear();
    fieldColumn_.clear();
    auto columnOf = [&](const std::string& n) {
        for (size_t i = 0; i < columns_.size(); ++i)
            if (core::equalsNoCase(columns_[i].name, n)) return static_cast<int>(i);
        return -1;
    };
    if (declared_.empty()) {
        for (size_t i = 0; i < columns_.size(); ++i) {
            fields_.push_back(fromColumn(columns_[i]));
            fieldColumn_.push_back(static_cast<int>(i));
        }
        if (detail_ && dataset().detail()) {
            fields_.push_back(nested(dataset().detail()->name()));
            fieldColumn_.push_back(-1);
        }
        bound_ = true;
        return;
    }
    for (const FieldDef& f : declared_) {
        if (f.nested) {
            fields_.push_back(f);
            fieldColumn_.push_back(-1);
            continue;
        }
        int c = columnOf(f.name);
        if (c < 0) throw UnknownField(name() + ": Field '" + f.name + "' not found");
        if (!typeMatches(f, columns_[c]))
            throw TypeMismatch(name() + ": Type mismatch for field '" + f.name +
                               "', expecting: " + fb::fieldTypeName(f.type) +
                               " actual: " + fb::fieldTypeName(columns_[c].type));
        fields_.push_back(f);
        fieldColumn_.push_back(c);
    }
    bound_ = true;
}

void Buffer::loadFrom(const fb::Table& table, const fb::Transaction* tra) {
    bindColumns(table.columns);
    rows_.clear();
    for (const auto& values : table.rows) {
        auto r = std::make_unique<Row>();
        r->values = values;
        rows_.push_back(std::move(r));
    }
    cur_ = 0;
    scanFrom_ = 0;
    inserting_ = false;
    if (detail_) {
        const ServerDataset& d = *dataset().detail();
        detail_->bindColumns(d.describe(d.selectText()));
        for (auto& r : rows_) loadDetails(*r, tra);
        detailsChanged();
    }
}

void Buffer::loadDetails(Row& row, const fb::Transaction* tra) {
    const ServerDataset& d = *dataset().detail();
    // The detail's parameters take the values of the master columns of the same names.
    records::Params p = d.params();
    for (Param& param : p) {
        int c = -1;
        for (size_t i = 0; i < columns_.size(); ++i)
            if (core::equalsNoCase(columns_[i].name, param.name)) c = static_cast<int>(i);
        if (c >= 0) param.value = row.values[c];
    }
    fb::Table t = tra ? d.run(*tra, d.selectText(), p) : d.open(d.selectText(), p);
    row.details.clear();
    for (const auto& values : t.rows) {
        auto r = std::make_unique<Row>();
        r->values = values;
        row.details.push_back(std::move(r));
    }
}

void Buffer::Open() {
    open(nullptr);
}

void Buffer::Open(const fb::Transaction& tra) {
    open(&tra);
}

void Buffer::open(const fb::Transaction* tra) {
    if (master_) {
        master_->open(tra);
        return;
    }
    if (active_) return;
    const std::string sql = statementText();
    loadFrom(tra ? dataset().run(*tra, sql, Params) : dataset().open(sql, Params), tra);
    active_ = true;
}

void Buffer::Close() {
    if (master_) {
        master_->Close();
        return;
    }
    rows_.clear();
    cur_ = 0;
    scanFrom_ = 0;
    active_ = false;
    inserting_ = false;
    detailsChanged();
}

void Buffer::Refresh() {
    if (master_) {
        master_->Refresh();
        return;
    }
    checkActive();
    if (ChangeCount() > 0) throw Misuse("Must apply updates before refreshing data");
    loadFrom(dataset().open(statementText(), Params), nullptr);
}

void Buffer::FetchParams() {
    if (master_) return;
    Params = dataset().params();
}

void Buffer::Execute() {
    if (master_) throw Misuse(name() + ": a nested buffer cannot execute a statement");
    dataset().execute(statementText(), Params);  // may write, whatever the dataset's opens do
}

void Buffer::Execute(const fb::Transaction& tra) {
    if (master_) throw Misuse(name() + ": a nested buffer cannot execute a statement");
    dataset().run(tra, statementText(), Params);
}

void Buffer::Prepare(const fb::Transaction& tra) {
    if (master_) throw Misuse(name() + ": a nested buffer cannot prepare a statement");
    dataset().prepare(tra, statementText());
}

// ---- navigation ----------------------------------------------------------------------------

void Buffer::acceptInsertion() {
    if (detail_ && detail_->inserting_) detail_->Post();
    if (inserting_) Post();
}

void Buffer::First() {
    acceptInsertion();
    cur_ = 0;
    detailsChanged();
}

void Buffer::Next() {
    acceptInsertion();
    if (cur_ < rows().size()) ++cur_;
    detailsChanged();
}

bool Buffer::Eof() const {
    return cur_ >= rows().size();
}
bool Buffer::IsEmpty() const {
    return rows().empty();
}
int Buffer::RecordCount() const {
    return static_cast<int>(rows().size());
}

int Buffer::ChangeCount() const {
    int n = 0;
    for (const auto& r : rows_) {
        if (r->pending) ++n;
        for (const auto& d : r->details)
            if (d->pending) ++n;
    }
    if (inserting_ || (detail_ && detail_->inserting_)) ++n;
    return n;
}

bool Buffer::Locate(std::string_view fieldName, std::string_view value) {
    checkActive();
    acceptInsertion();
    Field f = FieldByName(fieldName);
    int col = fieldColumn_[f.index()];
    const Rows& r = rows();
    for (size_t i = 0; i < r.size(); ++i) {
        const fb::Value& v = r[i]->values[col];
        bool equal;
        if (v.isNull()) {
            equal = value.empty();
        } else if (v.kind == fb::Value::Kind::Text || v.kind == fb::Value::Kind::Blob) {
            equal = v.text == value;
        } else {
            // Numbers and dates compare by value; a text that is not one matches nothing.
            try {
                equal = valueFromText(f.def(), value) == valueFromValue(f.def(), v);
            } catch (const std::exception&) {
                equal = false;
            }
        }
        if (equal) {
            cur_ = i;
            detailsChanged();
            return true;
        }
    }
    return false;
}

// ---- fields --------------------------------------------------------------------------------

int Buffer::FindFieldIndex(std::string_view n) const {
    // Callers spell the names as declared: the exact match is tried first, being much cheaper.
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == n) return static_cast<int>(i);
    for (size_t i = 0; i < fields_.size(); ++i)
        if (core::equalsNoCase(fields_[i].name, n)) return static_cast<int>(i);
    return -1;
}

Field Buffer::FieldByName(std::string_view n) {
    int i = FindFieldIndex(n);
    if (i < 0) throw UnknownField(name() + ": Field '" + std::string(n) + "' not found");
    return Field(*this, i);
}

Field Buffer::Fields(int index) {
    if (index < 0 || index >= FieldCount())
        throw UnknownField(name() + ": List index out of bounds (" + std::to_string(index) + ")");
    return Field(*this, index);
}

const FieldDef& Field::def() const {
    return buffer_->fields_[index_];
}

fb::Value Field::value() const {
    int c = buffer_->fieldColumn_[index_];
    const Buffer::Row* r = buffer_->current();
    if (c < 0 || !r) return fb::Value();
    return r->values[c];
}

bool Field::isNull() const {
    return value().isNull();
}
std::string Field::asString() const {
    return textOf(value());
}
int32_t Field::asInteger() const {
    return converting(*this, [&] { return intOf(value()); });
}
core::Money Field::asMoney() const {
    return converting(*this, [&] { return moneyOf(value()); });
}
double Field::asFloat() const {
    return converting(*this, [&] { return doubleOf(value()); });
}
core::Date Field::asDate() const {
    return converting(*this, [&] { return dateOf(value()); });
}

void Field::setValue(const fb::Value& v) {
    store(converting(*this, [&] { return valueFromValue(def(), v); }));
}

void Field::store(fb::Value v) {
    if (!buffer_->inserting_)
        throw Misuse(buffer_->name() + ": Dataset not in edit or insert mode");
    int c = buffer_->fieldColumn_[index_];
    if (c < 0) throw Misuse(buffer_->name() + ": Field '" + name() + "' is read-only");
    buffer_->current()->values[c] = std::move(v);
}

void Field::setString(std::string_view t) {
    store(converting(*this, [&] { return valueFromText(def(), t); }));
}
void Field::setInteger(int64_t v) {
    store(converting(*this, [&] { return valueFromInt(def(), v); }));
}
void Field::setMoney(core::Money m) {
    store(converting(*this, [&] { return valueFromMoney(def(), m); }));
}
void Field::setFloat(double d) {
    store(converting(*this, [&] { return valueFromDouble(def(), d); }));
}
void Field::setDate(const core::Date& d) {
    store(converting(*this, [&] { return valueFromDate(def(), d); }));
}
void Field::clear() {
    store(fb::Value());
}

// ---- insert, post, cancel ------------------------------------------------------------------

void Buffer::Insert() {
    checkActive();
    acceptInsertion();
    if (master_) {
        if (master_->inserting_) master_->Post();
        if (!master_->current()) throw Misuse(name() + ": the master has no current row");
    }
    Rows& r = rows();
    auto row = std::make_unique<Row>();
    row->values.assign(columns_.size(), fb::Value());
    if (master_) {
        // The line takes the header's link columns (the detail query's parameters).
        const Row* m = master_->current();
        for (const Param& p : dataset().params()) {
            int mine = -1, theirs = -1;
            for (size_t i = 0; i < columns_.size(); ++i)
                if (core::equalsNoCase(columns_[i].name, p.name)) mine = static_cast<int>(i);
            for (size_t i = 0; i < master_->columns_.size(); ++i)
                if (core::equalsNoCase(master_->columns_[i].name, p.name))
                    theirs = static_cast<int>(i);
            if (mine >= 0 && theirs >= 0) row->values[mine] = m->values[theirs];
        }
    }
    r.push_back(std::move(row));
    cur_ = r.size() - 1;
    Buffer& top = master_ ? *master_ : *this;
    top.scanFrom_ = std::min(top.scanFrom_, top.cur_);
    inserting_ = true;
    detailsChanged();
    if (AfterInsert) AfterInsert(*this);
}

void Buffer::validateRequired() const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (!fields_[i].required || fieldColumn_[i] < 0) continue;
        if (current()->values[fieldColumn_[i]].isNull()) throw RequiredFieldEmpty(fields_[i].name);
    }
}

void Buffer::Post() {
    if (!inserting_) return;
    for (;;) {
        try {
            validateRequired();
            break;
        } catch (const std::exception& e) {
            DataAction action = DataAction::daFail;
            if (OnPostError) OnPostError(*this, e, action);
            if (action == DataAction::daAbort) throw core::SilentAbort();
            if (action == DataAction::daFail) throw;
        }
    }
    current()->pending = true;
    inserting_ = false;
}

void Buffer::DropSaved() {
    if (master_) {
        master_->DropSaved();
        return;
    }
    checkActive();
    acceptInsertion();
    for (auto& r : rows_) std::erase_if(r->details, [](const auto& d) { return !d->pending; });
    std::erase_if(rows_, [](const auto& r) { return !r->pending && r->details.empty(); });
    cur_ = 0;
    scanFrom_ = 0;
    detailsChanged();
}

void Buffer::CancelUpdates() {
    if (master_) {
        master_->CancelUpdates();
        return;
    }
    // A row still in insertion was never posted: it goes with the pending ones.
    if (detail_ && detail_->inserting_ && detail_->current()) detail_->current()->pending = true;
    if (inserting_ && current()) current()->pending = true;
    for (auto& r : rows_) std::erase_if(r->details, [](const auto& d) { return d->pending; });
    std::erase_if(rows_, [](const auto& r) { return r->pending; });
    inserting_ = false;
    cur_ = 0;
    scanFrom_ = rows_.size();
    detailsChanged();
}

}  // namespace records
