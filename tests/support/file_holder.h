#pragma once
// Holds an exclusive lock on a file for the lifetime of the object, as another program that
// is writing it would: files held so are to be skipped.
#include <string>

#include "platform/exclusive_file.h"

namespace testsupport {

class FileHolder {
  public:
    explicit FileHolder(const std::string& path) { file_.open(path); }
    bool holding() const { return file_.isOpen(); }

  private:
    platform::ExclusiveFile file_;
};

}  // namespace testsupport
