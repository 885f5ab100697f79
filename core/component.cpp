#include "core/component.h"

#include <algorithm>

namespace core {

Component::Component(std::string name, Component* owner) : name_(std::move(name)), owner_(owner) {
    if (owner_) owner_->owned_.push_back(this);
}

Component::~Component() {
    if (owner_) std::erase(owner_->owned_, this);
    for (Component* c : owned_) c->owner_ = nullptr;
}

}  // namespace core
