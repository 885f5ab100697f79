// The client loaded when first needed, found as platform::SharedLibrary finds a library: in
// the program's folder (where an installation may put its own fbclient.dll) or in a folder of
// PATH (where the Firebird installer's folder is), never in the working directory.
#include <system_error>

#include "fb/client.h"
#include "fb/error.h"
#include "platform/shared_library.h"

namespace fb {
namespace {

constexpr const char* kClientFile = "fbclient.dll";

struct LoadedClient {
    platform::SharedLibrary library;
    decltype(&Firebird::fb_get_master_interface) master;
    decltype(&isc_sqlcode) sqlcode;
};

LoadedClient load() {
    try {
        platform::SharedLibrary library(kClientFile);
        auto master = reinterpret_cast<decltype(&Firebird::fb_get_master_interface)>(
            library.function("fb_get_master_interface"));
        auto sqlcode = reinterpret_cast<decltype(&isc_sqlcode)>(library.function("isc_sqlcode"));
        if (!master || !sqlcode)
            throw ClientMissing(std::string("The Firebird client ") + library.path() +
                                " is not a Firebird 3 client: it lacks " +
                                (master ? "isc_sqlcode" : "fb_get_master_interface"));
        return LoadedClient{std::move(library), master, sqlcode};
    } catch (const std::system_error& e) {
        throw ClientMissing(std::string("The Firebird client ") + kClientFile +
                            " could not be loaded from the program's folder or the folders of "
                            "PATH (" +
                            e.code().message() + ", error " + std::to_string(e.code().value()) +
                            "): install the Firebird 3 client");
    }
}

// Loaded once, on first use; a failure is thrown to every caller until a load succeeds.
const LoadedClient& client() {
    static const LoadedClient loaded = load();
    return loaded;
}

}  // namespace

Firebird::IMaster* clientMaster() {
    return client().master();
}

int clientSqlcode(const intptr_t* status) {
    return static_cast<int>(client().sqlcode(status));
}

}  // namespace fb
