#include "platform/installation_dir.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <QFileInfo>
#include <QSettings>
#include <QStringEncoder>
#endif

namespace platform {

#ifdef _WIN32

std::optional<std::string> readInstallationDirectory() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Ostrel\\Quorvan2021", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    struct Closer {
        HKEY k;
        ~Closer() { RegCloseKey(k); }
    } closer{key};
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, "Directorio", nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw std::runtime_error("Invalid data type for 'Directorio'");
    std::string value(size, '\0');
    if (RegQueryValueExA(key, "Directorio", nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                         &size) != ERROR_SUCCESS)
        return std::string();
    value.resize(value.find('\0') == std::string::npos ? size : value.find('\0'));
    return value;
}

#else

std::optional<std::string> readInstallationDirectory() {
    QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, "Ostrel", "Quorvan2021");
    if (!QFileInfo::exists(settings.fileName()) || settings.status() == QSettings::AccessError)
        return std::nullopt;
    QVariant v = settings.value("Directorio");
    if (!v.isValid()) return std::string();
    if (v.typeId() != QMetaType::QString)
        throw std::runtime_error("Invalid data type for 'Directorio'");
    QStringEncoder toCp1252("windows-1252");
    QByteArray bytes = toCp1252(v.toString());
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

#endif

}  // namespace platform
