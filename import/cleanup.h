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

// The script's three lines, each ended by CR LF, for the flat file `name` (which begins
// with "["; the client's mask "[[]" stands for that literal "[").
std::string transferScript(const std::string& openLine, const std::string& name);

class RemoteCleanup : public FileCleanup {
  public:
    explicit RemoteCleanup(int pauseMs = 1000);
    RemoteCleanup(std::string openLine, int pauseMs);

    // A failed local deletion is ignored, and so is a client that does not start. A script
    // that cannot be created, written or closed throws std::system_error; the local file is
    // gone by then.
    void cleanUp(const std::string& direc, const std::string& name) override;

  private:
    std::string openLine_;
    int pauseMs_;
};

}  // namespace importer
