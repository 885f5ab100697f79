#include "import/transfer_setup.h"

#include <cstdlib>
#include <filesystem>

#include "data/texts.h"
#include "platform/file_names.h"
#include "platform/installation_dir.h"
#include "platform/private_files.h"
#include "platform/system.h"

namespace importer {
namespace {

const char* const kOpenLineVariable = "IMPORTARFAC_TRANSFER_OPEN_LINE";
const char* const kClientVariable = "IMPORTARFAC_TRANSFER_CLIENT";
const char* const kClientName = "winscp.com";

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The first line of a small file: empty when there is none (a trailing CR is dropped).
std::string firstLine(const std::string& path) {
    const std::optional<std::string> bytes = platform::readRegularFile(path);
    if (!bytes) return {};
    std::string line = bytes->substr(0, bytes->find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string installationFile() {
    std::optional<std::string> dir;
    try {
        dir = platform::readInstallationDirectory();
    } catch (const std::exception&) {
        return {};  // an entry that is not text names no directory
    }
    if (!dir || dir->empty()) return {};
    return *dir + "/" + kOpenLineFileName;
}

bool holdsControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

TransferSetup transferSetup() {
    TransferSetup s;
    if (const std::string dir = platform::environmentPath("CREDENTIALS_DIRECTORY").value_or("");
        !dir.empty()) {
        if (std::string line = firstLine(dir + "/" + kOpenLineFileName); !line.empty()) {
            s.openLine = std::move(line);
            s.openLineSource = "credential";
        }
    }
    if (!s.openLine) {
        if (std::string line = variable(kOpenLineVariable); !line.empty()) {
            s.openLine = std::move(line);
            s.openLineSource = "environment";
        }
    }
    if (!s.openLine) {
        if (const std::string file = installationFile(); !file.empty()) {
            if (std::string line = firstLine(file); !line.empty()) {
                s.openLine = std::move(line);
                s.openLineSource = s.openLineFile = file;
            }
        }
    }
    // A line break would give the script lines of the variable's choosing.
    if (s.openLine && holdsControlCharacter(*s.openLine))
        s.problem = data::texts::kLineaAperturaInvalida + s.openLineSource;

    if (const std::optional<std::string> client = platform::environmentPath(kClientVariable)) {
        s.client = *client;
        if ((client->empty() || !platform::nativePath(*client).is_absolute()) && s.problem.empty())
            s.problem = data::texts::kClienteNoAbsoluto;
    } else if (const std::string dir = platform::programDirectory(); !dir.empty()) {
        s.client = dir + "/" + kClientName;
    } else if (s.problem.empty()) {
        s.problem = data::texts::kSinCarpetaPrograma;
    }
    return s;
}

}  // namespace importer
