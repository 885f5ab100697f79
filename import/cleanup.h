#pragma once
// Removes a fully imported flat file: deletes it locally, writes the transfer script
// borrar.txt into the current working directory and starts the transfer client "winscp.com"
// on it, which deletes the file of the same name in the root folder of the remote account.
// The client is not waited for; a pause after each start gives it time to read the script
// before the next removed file rewrites it.
#include <string>

#include "import/run_steps.h"

namespace importer {

// The script's first line, which logs the client into the remote account. It is deployment
// configuration, looked up in this order:
//   1. the environment variable IMPORTARFAC_TRANSFER_OPEN_LINE, when set and not empty;
//   2. the first line of the file "transfer-open-line" in the ERP's installation directory
//      (the registry's "Directorio", where settings.conf lies), when that file can be read
//      and the line is not empty (a trailing CR is dropped);
//   3. the line built into the program (CMake cache variable IMPORTARFAC_TRANSFER_OPEN_LINE),
//      which by default names a fake account.
std::string transferOpenLine();

// Whether the name of a flat file can go into the transfer script: not when it holds a
// control character (it could end the script's line) or a double quote (the script's quote).
bool remotelyRemovable(const std::string& name);

// The script's three lines, each ended by CR LF, for the flat file `name` (which begins
// with "["). Line 2 is "rm " and a mask of the client's script language that matches that
// one name only: "[[]" for the first "[", then the rest of the name with each character the
// client reads as a mask ("[", "*", "?") written as a set of that one character ("[[]",
// "[*]", "[?]") and each "%" doubled (a single one would start a variable); a mask holding a
// blank is enclosed in double quotes. `name` must be remotelyRemovable.
std::string transferScript(const std::string& openLine, const std::string& name);

class RemoteCleanup : public FileCleanup {
  public:
    explicit RemoteCleanup(int pauseMs = 1000);
    RemoteCleanup(std::string openLine, int pauseMs);

    // Deletes the held file when it is unchanged since it was opened (see
    // ExclusiveFile::removeIfUnchanged), then writes the script and starts the client. A
    // failed local deletion is ignored, and so is a client that does not start. A script
    // that cannot be created, written or closed throws std::system_error; the local file is
    // gone by then. A changed file, or one whose name is not remotelyRemovable, is left here
    // and on the server.
    CleanupOutcome cleanUp(const std::string& direc, const std::string& name,
                           platform::ExclusiveFile& file) override;

  private:
    std::string openLine_;
    int pauseMs_;
};

}  // namespace importer
