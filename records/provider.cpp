#include "records/provider.h"

namespace records {

Provider::Provider(std::string name, core::Component* owner, ServerDataset& dataset,
                   std::set<ProviderOption> options)
    : Component(std::move(name), owner), dataset_(&dataset), options_(std::move(options)) {}

}  // namespace records
