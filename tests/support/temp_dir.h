#pragma once
// A scratch folder for a test, on Linux and on Windows alike.
#include <string>

namespace testsupport {

// A fresh folder under $TMPDIR (or the system's folder for temporary files: /tmp, on Windows
// the user's Temp), removed with all its contents when the object is destroyed.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name; nothing is created.
    std::string file(const std::string& name) const;

  private:
    std::string path_;
};

}  // namespace testsupport
