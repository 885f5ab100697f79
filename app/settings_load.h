#pragma once
// Filling the window from the settings file in the ERP's installation directory.
#include <string>

#include "app/tfimportarfac.h"
#include "platform/env.h"

namespace app {

// The installation directory; when the entry cannot be found, shows the information box
// "No se encontró la Clave HKEY_LOCAL_MACHINE\Software\Ostrel\Quorvan2021\Directorio" and
// gives "".
std::string diraplicacion(data::UiPort& port, platform::Env& env);

// The settings path: the directory followed by the platform's separator and "settings.conf"
// (nothing added or removed otherwise: an empty directory gives the root's settings.conf).
std::string settingsPath(const std::string& directory);

// Reads settings.conf (opened without sharing) into the boxes and the fields Destino and
// Espera. A file that cannot be opened changes nothing and shows nothing.
void loadSettings(Tfimportarfac& window, platform::Env& env);

}  // namespace app
