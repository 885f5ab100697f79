#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

#include "platform/file_names.h"

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    const char* variable = std::getenv("TMPDIR");
    std::error_code ec;
    const fs::path base = variable && *variable ? fs::path(variable) : fs::temp_directory_path(ec);
    // Names as mkdtemp makes them, tried until one is free: making a folder is the test.
    std::random_device seed;
    std::mt19937 random(seed());
    const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "importarfac-";
        for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
        const fs::path folder = base / name;
        if (!fs::create_directory(folder, ec)) continue;
        // Readable by a Firebird server that runs under its own user.
        fs::permissions(folder,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec,
                        ec);
#ifdef _WIN32
        // A path text of the program, as the tests hand it to the program's calls (a user's
        // folder may hold accents).
        path_ = platform::programText(folder).value_or(folder.string());
#else
        path_ = folder.string();
#endif
        return;
    }
    throw std::runtime_error("cannot create a folder in " + base.string());
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const {
    return path_ + "/" + name;
}

}  // namespace testsupport
