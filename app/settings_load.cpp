#include "app/settings_load.h"

#include "app/settings_file.h"
#include "data/texts.h"

#include "platform/system.h"

namespace app {

std::string diraplicacion(data::UiPort& port, platform::Env& env) {
    std::optional<std::string> dir = env.installationDirectory();
    if (!dir) {
        port.information(data::texts::kClaveNoEncontrada);
        return {};
    }
    return *dir;
}

std::string settingsPath(const std::string& directory) {
    return directory + platform::pathSeparator() + "settings.conf";
}

namespace {

// Opens the settings file without sharing it. Another program starting at the same moment
// holds it for as long as it takes to read a few lines: such a file is waited for a little
// (a second at most), not taken for one that is missing.
std::unique_ptr<platform::HeldFile> openSettings(platform::Env& env, const std::string& path) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        // The administrator may keep it elsewhere behind a link; a FIFO is not waited for.
        if (auto file = env.holdFile(path, platform::ExclusiveFile::Links::Follow)) return file;
        if (!env.regularFileExists(path)) return nullptr;
        env.sleepMs(20);
    }
    return nullptr;
}

}  // namespace

void loadSettings(Tfimportarfac& w, platform::Env& env) {
    const std::unique_ptr<platform::HeldFile> file =
        openSettings(env, settingsPath(diraplicacion(w.port(), env)));
    if (!file) return;
    SettingsValues v = parseSettings(file->readAll());
    file->close();
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
