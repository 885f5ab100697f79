#pragma once
// A server-side query opened directly (without a buffer): its whole result with a current
// row, read by name or position.
#include <string>
#include <string_view>

#include "records/server_dataset.h"

namespace records {

class Query : public ServerDataset {
  public:
    Query(std::string name, core::Component* owner, fb::Connection& connection, std::string sql);

    void Open();
    void Close();
    bool Active() const { return active_; }
    bool IsEmpty() const { return table_.rows.empty(); }
    bool Eof() const { return cur_ >= table_.rows.size(); }
    void First() { cur_ = 0; }
    void Next() {
        if (cur_ < table_.rows.size()) ++cur_;
    }
    // Makes the first row whose column equals `value` (compared as text) current.
    bool Locate(std::string_view column, std::string_view value);
    // Texts of the current row's columns ("" for NULL or when there is no current row).
    std::string text(int position) const;
    std::string text(std::string_view column) const;

  private:
    fb::Table table_;
    size_t cur_ = 0;
    bool active_ = false;
};

}  // namespace records
