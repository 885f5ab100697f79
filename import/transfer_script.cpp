#include "import/transfer_script.h"

namespace importer {

bool remotelyRemovable(const std::string& name) {
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '"') return false;
    return true;
}

std::string transferScript(const std::string& openLine, const std::string& name) {
    std::string mask = "[[]";
    for (size_t i = 1; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '[' || c == '*' || c == '?')
            mask += std::string{'[', c, ']'};
        else if (c == '%')
            mask += "%%";
        else
            mask += c;
    }
    if (mask.find(' ') != std::string::npos) mask = '"' + mask + '"';
    return openLine + "\r\n" + "rm " + mask + "\r\n" + "exit\r\n";
}

}  // namespace importer
