#pragma once
// Tfimportarfac: the import window's state and handlers, free of any widget toolkit. The
// controls are the FormModel; everything the person sees or answers goes through the
// data::UiPort; the Qt view (app/view) only shows the model and forwards events to the handlers.
#include <cstdint>
#include <functional>
#include <string>

#include "app/folder_dialog.h"
#include "app/form_model.h"
#include "core/component.h"
#include "data/ui_port.h"

namespace app {

// Key codes as the window's key handler sees them (the Windows virtual-key values). The view
// translates its toolkit's keys into these.
namespace keys {
inline constexpr int F2 = 0x71;
inline constexpr int Escape = 0x1B;
}  // namespace keys

// Modifier keys held with a key press.
using Shift = unsigned;
inline constexpr Shift ssShift = 0x1;
inline constexpr Shift ssAlt = 0x2;
inline constexpr Shift ssCtrl = 0x4;

// What happens to the window once it closes.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

class Tfimportarfac : public core::Component {
  public:
    // Nothing is loaded yet: whoever creates the window calls FormCreate next, before the
    // window is first shown (the handler may be overridden, so it cannot run from here).
    Tfimportarfac(data::UiPort& port, FolderChooser& chooser);
    ~Tfimportarfac() override = default;

    data::UiPort& port() { return port_; }

    FormModel form;
    TFolderDialog FolderDialog1;

    // Fields of the settings file (the run's working fields are importer::RunContext).
    std::string Destino;  // kept from the settings file; nothing reads it
    std::string Espera;   // unattended flag from the settings file: "1" runs without a key

    // Window created: the settings file fills the boxes (settings load goes here).
    virtual void FormCreate() {}
    // Window activated for the first time: connects when server, user, password and
    // company are filled in (the connection step goes here). Reached through
    // windowActivated(), which calls it once only.
    virtual void FormActivate() {}
    // Focus left Cia or EPref: reconnects the general and company databases (the connection
    // sequence goes here).
    virtual void CiaExit() {}
    // "F2: Generar" or F2: the import run (its frame goes here). It checks no precondition.
    virtual void SpeedButton3Click() {}

    // Sees every key before the focused control, which still gets it afterwards. With Shift,
    // Ctrl or Alt held nothing happens; F2 starts the run (also while its button is
    // disabled), Esc closes the window.
    void FormKeyDown(int key, Shift shift);
    // "Explorar": the chosen folder goes into Ubicacion; a cancel changes nothing.
    void SpeedButton1Click();
    // "Esc: Cancelar": closes the window at once, asking nothing.
    void SpeedButton2Click();
    // The window is destroyed once closed; being the main window, that ends the program.
    void FormClose(TCloseAction& action);

    // Every activation of the window lands here; only the first one runs FormActivate, so
    // closing a box or the folder dialog, or coming back from another program, does not
    // connect again.
    void windowActivated();

    // Runs one handler as the application's event loop would: a failure that escapes it is
    // shown in the default failure box with its own text, and a silent abort (already
    // shown) is dropped. The program then goes on.
    void dispatch(const std::function<void()>& handler);

  private:
    data::UiPort& port_;
    bool activated_ = false;
};

}  // namespace app
