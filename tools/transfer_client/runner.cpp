#include "runner.h"

#include <algorithm>
#include <optional>

#include "client_error.h"

namespace transfer_client {

namespace {

// One mask that names one file, as the import writes it: deleted at once, with no listing and
// so no data connection. Only a refused delete asks for the listing, to tell a file that is
// gone already from one the server would not delete.
bool removed_by_name(RemoteFolder& folder, const RemoveCommand& rm) {
    if (rm.masks.size() != 1) return false;
    const std::optional<std::string> name = rm.masks[0].literal();
    if (!name || name->empty()) return false;
    try {
        folder.remove(*name);
    } catch (const ClientError& e) {
        if (e.kind() != ErrorKind::Remote) throw;
        const std::vector<std::string> names = folder.list_names();
        if (std::find(names.begin(), names.end(), *name) == names.end()) {
            throw ClientError(ErrorKind::NoMatch,
                              "no remote file matches \"" + rm.masks[0].pattern() + "\"");
        }
        throw;
    }
    return true;
}

void remove_matching(RemoteFolder& folder, const RemoveCommand& rm) {
    if (removed_by_name(folder, rm)) return;
    const std::vector<std::string> names = folder.list_names();
    std::vector<bool> chosen(names.size(), false);
    for (const FileMask& mask : rm.masks) {
        bool any = false;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (mask.matches(names[i])) chosen[i] = any = true;
        }
        if (!any) {
            throw ClientError(ErrorKind::NoMatch,
                              "no remote file matches \"" + mask.pattern() + "\"");
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (chosen[i]) folder.remove(names[i]);
    }
}

}  // namespace

void run_script(const std::vector<ScriptLine>& script, const Connector& connect) {
    std::unique_ptr<RemoteFolder> folder;
    for (const ScriptLine& line : script) {
        if (const auto* open = std::get_if<OpenCommand>(&line.command)) {
            folder = connect(*open);
        } else if (const auto* rm = std::get_if<RemoveCommand>(&line.command)) {
            // parse_script refuses rm before open; this guards other callers.
            if (!folder) throw ClientError(ErrorKind::NotUnderstood, "rm without an open session");
            remove_matching(*folder, *rm);
        } else {
            return;  // exit
        }
    }
}

}  // namespace transfer_client
