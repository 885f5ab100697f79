#pragma once
// A library of functions loaded while the program runs (a DLL on Windows, a shared object
// elsewhere), so that the program links without it and can say which file is missing when it
// is. Unloaded on destruction: nothing it gave may be used after that.
#include <string>

namespace platform {

class SharedLibrary {
  public:
    // Loads the library file `name`, a bare file name (no folder): on Windows from the
    // program's own folder, else from a folder of the search path (PATH, its absolute entries
    // only), never from the working directory, which other people's files may share; elsewhere
    // from the program's own folder, else as the system's loader finds it. On Windows the
    // libraries it needs in turn are looked for beside it first. Throws std::system_error naming
    // the file and the system's reason when no such library can be loaded.
    explicit SharedLibrary(const std::string& name);
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of the function the library exports as `symbol`; nullptr when it has none.
    void* function(const char* symbol) const;
    // The file loaded, as a path text of the program (platform/file_names.h).
    const std::string& path() const { return path_; }

  private:
    void release();

    void* handle_ = nullptr;
    std::string path_;
};

}  // namespace platform
