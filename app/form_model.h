#pragma once
// The import window's controls as plain data. The handlers read and change this model; the
// Qt view shows it and writes the person's edits back into it. Texts are Windows-1252 bytes.
#include <string>
#include <vector>

#include "core/date.h"

namespace app {

struct TextBox {
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool password = false;  // every character shown as "*"
};

struct DatePicker {
    core::Date date;
    bool enabled = true;
};

// A drop-down list with fixed items: nothing can be typed into it.
struct ComboBox {
    std::vector<std::string> items;
    int itemIndex = -1;  // -1: nothing selected
    bool enabled = true;
};

struct ProgressBar {
    int min = 0;
    int max = 100;
    int step = 1;
    int position = 0;
    // Adds one step; a position past max starts the bar again from min.
    void StepIt();
};

// The message panel shown while connecting or importing.
struct Panel {
    std::string caption;
    bool visible = true;
};

struct Button {
    std::string caption;
    bool enabled = true;
};

struct FormModel {
    FormModel();

    std::string caption;

    // "Origen:"
    TextBox Servidor;
    TextBox Tusua;
    TextBox TClave;
    TextBox Cia;

    // "Parámetros "
    DatePicker EFecIni;
    TextBox EPref;
    TextBox Ubicacion;
    Button SpeedButton1;  // "Explorar"
    ProgressBar ProgressBar1;
    TextBox Edit1;
    ComboBox Separ;
    ComboBox Delim;

    // Bottom band.
    Button SpeedButton3;  // "F2: Generar"
    Button SpeedButton2;  // "Esc: Cancelar"

    Panel Panel5;

    // Name of the control that has the focus ("Servidor", "EFecIni", ...).
    std::string focused;
};

}  // namespace app
