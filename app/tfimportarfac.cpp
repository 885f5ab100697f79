#include "app/tfimportarfac.h"

#include <exception>

#include "core/errors.h"
#include "data/texts.h"

namespace app {

Tfimportarfac::Tfimportarfac(data::UiPort& port, FolderChooser& chooser)
    : core::Component("fimportarfac", nullptr),
      FolderDialog1("FolderDialog1", this, chooser),
      port_(port) {
    FolderDialog1.Caption = data::texts::kFolderDialogCaption;
    FolderDialog1.Options = {fdoBrowseForComputer, fdoNewDialogStyle, fdoNoNewFolderButton};
    FolderDialog1.DialogPosition = fdpDefault;
    FolderDialog1.DialogX = 0;
    FolderDialog1.DialogY = 0;
}

void Tfimportarfac::FormKeyDown(int key, Shift shift) {
    if (shift & (ssShift | ssCtrl | ssAlt)) return;
    if (key == keys::F2)
        SpeedButton3Click();
    else if (key == keys::Escape)
        SpeedButton2Click();
}

void Tfimportarfac::SpeedButton1Click() {
    if (FolderDialog1.Execute()) form.Ubicacion.text = FolderDialog1.Directory;
}

void Tfimportarfac::SpeedButton2Click() {
    port_.close();
}

void Tfimportarfac::FormClose(TCloseAction& action) {
    action = caFree;
}

void Tfimportarfac::windowActivated() {
    if (activated_) return;
    activated_ = true;
    FormActivate();
}

void Tfimportarfac::dispatch(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const core::SilentAbort&) {
    } catch (const std::exception& e) {
        port_.failure(e.what());
    } catch (...) {
        port_.failure("Unknown failure");
    }
}

}  // namespace app
