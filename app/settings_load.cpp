#include "app/settings_load.h"

#include "app/settings_file.h"
#include "app/texts.h"
#include "platform/exclusive_file.h"
#include "platform/installation_dir.h"

namespace app {

std::string diraplicacion(UiPort& port) {
    std::optional<std::string> dir = platform::readInstallationDirectory();
    if (!dir) {
        port.information(texts::kClaveNoEncontrada);
        return {};
    }
    return *dir;
}

std::string settingsPath(const std::string& directory) {
#ifdef _WIN32
    return directory + "\\settings.conf";
#else
    return directory + "/settings.conf";
#endif
}

void loadSettings(Tfimportarfac& w) {
    platform::ExclusiveFile file;
    if (!file.open(settingsPath(diraplicacion(w.port())))) return;
    SettingsValues v = parseSettings(file.readAll());
    file.close();
    w.form.Servidor.text = v.servidor;
    w.form.Tusua.text = v.tusua;
    w.form.TClave.text = v.tclave;
    w.form.Cia.text = v.cia;
    w.Destino = v.destino;
    w.form.EPref.text = v.epref;
    w.form.Ubicacion.text = v.ubicacion;
    w.Espera = v.espera;
}

}  // namespace app
