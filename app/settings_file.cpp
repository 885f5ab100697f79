#include "app/settings_file.h"

#include <array>

namespace app {

SettingsValues parseSettings(std::string_view bytes) {
    SettingsValues v;
    const std::array<std::string*, 8> targets{&v.servidor, &v.tusua, &v.tclave,    &v.cia,
                                              &v.destino,  &v.epref, &v.ubicacion, &v.espera};
    std::string line;
    line.reserve(kSettingsLineMax);
    size_t lineNo = 0;
    for (size_t k = 0; k < bytes.size(); ++k) {
        const char b = bytes[k];
        if (b != '\r' && b != '\n') {
            if (line.size() < kSettingsLineMax) line += b;
            continue;
        }
        if (++lineNo <= targets.size()) *targets[lineNo - 1] = line.substr(0, line.find('\0'));
        line.clear();
        if (b == '\r') ++k;
    }
    return v;
}

}  // namespace app
