#pragma once
// Named components with an owner, so that a window or the data module can be walked
// (the error hooks are attached by walking the window's components).
#include <string>
#include <vector>

namespace core {

class Component {
  public:
    Component(std::string name, Component* owner);
    virtual ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    const std::string& name() const { return name_; }
    Component* owner() const { return owner_; }
    // The components this one owns, in the order they were created.
    const std::vector<Component*>& components() const { return owned_; }

  private:
    std::string name_;
    Component* owner_;
    std::vector<Component*> owned_;
};

}  // namespace core
