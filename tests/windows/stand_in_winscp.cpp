// A stand-in for winscp.com, the transfer client: it reads the script it is started on
// (/script=<file>, in its working directory) and keeps a copy of it there as "seen-<file>",
// then ends by what its "rm" line names: "fail" fails as a refused login does, "hang" never
// ends by itself, "gone" finds no file (exit 6), anything else is removed (exit 0). It writes
// as a console program does, lines ended by CR LF.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    const std::string prefix = "/script=";
    if (argc != 2 || std::string(argv[1]).rfind(prefix, 0) != 0) {
        std::printf("usage: winscp.com /script=<file>\n");
        return 64;
    }
    const std::string script = std::string(argv[1]).substr(prefix.size());
    std::ifstream in(script, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    if (text.empty()) {
        std::printf("Cannot open the script %s\n", script.c_str());
        return 1;
    }
    std::ofstream("seen-" + script, std::ios::binary) << text;
    const std::string rm = text.substr(text.find("\nrm ") + 1);
    if (rm.find("fail") != std::string::npos) {
        std::printf("Connecting to host...\nAuthentication failed.\n");
        return 1;
    }
    if (rm.find("hang") != std::string::npos) {
        std::printf("Connecting to host...\n");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::minutes(2));
    }
    if (rm.find("gone") != std::string::npos) {
        std::printf("No file matching '%s' found.\n", rm.c_str());
        return 6;
    }
    return 0;
}
