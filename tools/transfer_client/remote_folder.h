#pragma once

#include <string>
#include <vector>

namespace transfer_client {

// The current folder of an open, logged-in session. Failures throw ClientError.
class RemoteFolder {
  public:
    virtual ~RemoteFolder() = default;

    // Names of the entries of the folder, as the server gives them.
    virtual std::vector<std::string> list_names() = 0;

    // Deletes the file of that name from the folder.
    virtual void remove(const std::string& name) = 0;
};

}  // namespace transfer_client
