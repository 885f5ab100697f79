#pragma once
// The link between a buffer and a server-side dataset: it fills the buffer and applies its
// pending rows to the dataset's table.
#include <functional>
#include <set>
#include <stdexcept>
#include <string>

#include "core/component.h"
#include "records/server_dataset.h"

namespace records {

class Buffer;

enum class ProviderOption { poAllowCommandText, poCascadeDeletes, poCascadeUpdates };
enum class UpdateKind { ukModify, ukInsert, ukDelete };
enum class ResolverResponse { rrSkip, rrAbort, rrMerge, rrApply, rrIgnore };

class Provider : public core::Component {
  public:
    using UpdateErrorHook =
        std::function<void(Provider& sender, Buffer& dataSet, const std::exception& e,
                           UpdateKind kind, ResolverResponse& response)>;

    Provider(std::string name, core::Component* owner, ServerDataset& dataset,
             std::set<ProviderOption> options = {});

    ServerDataset& dataset() const { return *dataset_; }
    bool has(ProviderOption o) const { return options_.count(o) != 0; }

    // Called once for each refused row; without a hook the apply stops as on rrAbort.
    UpdateErrorHook OnUpdateError;

  private:
    ServerDataset* dataset_;
    std::set<ProviderOption> options_;
};

}  // namespace records
