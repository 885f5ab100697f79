#include "import/transfer_setup.h"

#include "data/texts.h"
#include "platform/file_names.h"

namespace importer {
namespace {

const char* const kOpenLineVariable = "IMPORTARFAC_TRANSFER_OPEN_LINE";
const char* const kClientVariable = "IMPORTARFAC_TRANSFER_CLIENT";
const char* const kClientName = "winscp.com";

std::string variable(platform::Env& env, const char* name) {
    return env.variable(name).value_or("");
}

// The first line of a small file: empty when there is none (a trailing CR is dropped).
std::string firstLine(platform::Env& env, const std::string& path) {
    const std::optional<std::string> bytes = env.readRegularFile(path);
    if (!bytes) return {};
    std::string line = bytes->substr(0, bytes->find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string installationFile(platform::Env& env) {
    std::optional<std::string> dir;
    try {
        dir = env.installationDirectory();
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

TransferSetup transferSetup(platform::Env& env) {
    TransferSetup s;
    if (const std::string dir = env.pathVariable("CREDENTIALS_DIRECTORY").value_or("");
        !dir.empty()) {
        if (std::string line = firstLine(env, dir + "/" + kOpenLineFileName); !line.empty()) {
            s.openLine = std::move(line);
            s.openLineSource = "credential";
        }
    }
    if (!s.openLine) {
        if (std::string line = variable(env, kOpenLineVariable); !line.empty()) {
            s.openLine = std::move(line);
            s.openLineSource = "environment";
        }
    }
    if (!s.openLine) {
        if (const std::string file = installationFile(env); !file.empty()) {
            if (std::string line = firstLine(env, file); !line.empty()) {
                s.openLine = std::move(line);
                s.openLineSource = s.openLineFile = file;
            }
        }
    }
    // A line break would give the script lines of the variable's choosing.
    if (s.openLine && holdsControlCharacter(*s.openLine))
        s.problem = data::texts::kLineaAperturaInvalida + s.openLineSource;

    if (const std::optional<std::string> client = env.pathVariable(kClientVariable)) {
        s.client = *client;
        if ((client->empty() || !platform::nativePath(*client).is_absolute()) && s.problem.empty())
            s.problem = data::texts::kClienteNoAbsoluto;
    } else if (const std::string dir = env.programDirectory(); !dir.empty()) {
        s.client = dir + "/" + kClientName;
    } else if (s.problem.empty()) {
        s.problem = data::texts::kSinCarpetaPrograma;
    }
    return s;
}

}  // namespace importer
