// A stand-in for the console transfer client the import starts: it reads the
// script named by /script=FILE and carries out its open, rm and exit lines.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "client_error.h"
#include "command_line.h"
#include "ftp_session.h"
#include "runner.h"
#include "script.h"

int main(int argc, char** argv) {
    using namespace transfer_client;
    // libcurl would write the session's keys to the file this names.
#ifdef _WIN32
    _putenv("SSLKEYLOGFILE=");
#else
    ::unsetenv("SSLKEYLOGFILE");
#endif
    try {
        const std::string path = script_path(std::vector<std::string>(argv + 1, argv + argc));
        const std::vector<ScriptLine> script = parse_script(read_script_file(path));
        const CurlLibrary curl;
        run_script(script, [](const OpenCommand& open) -> std::unique_ptr<RemoteFolder> {
            return std::make_unique<FtpSession>(open);
        });
        return 0;
    } catch (const ClientError& e) {
        std::cerr << "winscp.com: " << e.what() << '\n';
        return exit_code(e.kind());
    } catch (const std::exception& e) {
        std::cerr << "winscp.com: " << e.what() << '\n';
        return 1;
    }
}
