#include "app/form_model.h"

#include "platform/system.h"

#include "data/texts.h"

namespace app {
void ProgressBar::StepIt() {
    // Past the maximum the Windows control wraps: (pos - min) % (max - min) + min, so 101
    // shows as 1 and the bar climbs again from the start.
    position += step;
    if (position > max && max > min) position = (position - min) % (max - min) + min;
}

FormModel::FormModel() : caption(data::texts::kCaption) {
    TClave.password = true;

    // The date is usable only once connected; until then it shows the day the window opened.
    EFecIni.date = platform::today();
    EFecIni.enabled = false;

    SpeedButton1.caption = data::texts::kExplorar;

    // Shows the invoice being imported, only while a run is on.
    Edit1.visible = false;

    Separ.items = {data::texts::kSeparComa, data::texts::kSeparPuntoYComa,
                   data::texts::kSeparTabulador};
    Separ.itemIndex = 1;
    Delim.items = {data::texts::kDelimNinguno, data::texts::kDelimComillas,
                   data::texts::kDelimComillaSimple};
    Delim.itemIndex = 0;

    SpeedButton3.caption = data::texts::kGenerar;
    SpeedButton3.enabled = false;  // enabled once connected
    SpeedButton2.caption = data::texts::kCancelar;

    Panel5.visible = false;

    // The first control of the tab order.
    focused = "Servidor";
}

}  // namespace app
