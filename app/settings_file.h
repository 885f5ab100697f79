#pragma once
// The settings file: eight lines read by position, no keys.
#include <string>
#include <string_view>

namespace app {

struct SettingsValues {
    std::string servidor{};   // line 1: server and root path of the ERP's data
    std::string tusua{};      // line 2: database user
    std::string tclave{};     // line 3: database password
    std::string cia{};        // line 4: company code
    std::string destino{};    // line 5: kept, read by nothing
    std::string epref{};      // line 6: invoice prefix
    std::string ubicacion{};  // line 7: folder of the flat files
    std::string espera{};     // line 8: "1" for the unattended run
    bool operator==(const SettingsValues&) const = default;

    bool unattended() const { return espera == "1"; }
};

inline constexpr size_t kSettingsLineMax = 255;

// Lines end at CR or at LF; a CR also swallows the byte after it, whatever it is. Bytes
// after the last line end form no line. A value ends at its first zero byte. A line
// keeps at most 255 characters; the rest of it is dropped. Lines after the eighth are
// ignored; values of lines the file lacks stay empty.
SettingsValues parseSettings(std::string_view bytes);

}  // namespace app
