#include "app/tfimportarfac.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/no_chooser.h"
#include "core/errors.h"
#include "data/texts.h"
#include "tests/support/recording_port.h"

using namespace app;

namespace {

// Counts the handlers whose real work lives elsewhere.
class CountingWindow : public Tfimportarfac {
  public:
    using Tfimportarfac::Tfimportarfac;
    int runs = 0;
    int activations = 0;
    int exits = 0;
    void SpeedButton3Click() override { ++runs; }
    void FormActivate() override { ++activations; }
    void CiaExit() override { ++exits; }
};

struct WindowTest : ::testing::Test {
    RecordingPort port;
    NoChooser chooser;
    CountingWindow window{port, chooser};
};

}  // namespace

TEST_F(WindowTest, KeysWithAndWithoutModifiers) {
    const struct {
        int key;
        Shift shift;
        int runs;
        int closes;
    } cases[] = {
        {keys::F2, 0, 1, 0},
        {keys::Escape, 0, 0, 1},
        {keys::F2, ssShift, 0, 0},
        {keys::F2, ssCtrl, 0, 0},
        {keys::F2, ssAlt, 0, 0},
        {keys::F2, ssCtrl | ssAlt, 0, 0},
        {keys::Escape, ssShift, 0, 0},
        {keys::Escape, ssCtrl, 0, 0},
        {keys::Escape, ssAlt, 0, 0},
        {0x72 /* F3 */, 0, 0, 0},
        {'A', 0, 0, 0},
        {0x0D /* Enter */, 0, 0, 0},
    };
    for (const auto& c : cases) {
        CountingWindow w(port, chooser);
        port.clear();
        w.FormKeyDown(c.key, c.shift);
        EXPECT_EQ(w.runs, c.runs) << "key " << c.key << " shift " << c.shift;
        EXPECT_EQ(port.count(PortCallKind::Close), c.closes)
            << "key " << c.key << " shift " << c.shift;
        EXPECT_EQ(w.exits + w.activations, 0);
    }
}

TEST_F(WindowTest, F2StartsTheRunWhileItsButtonIsDisabled) {
    ASSERT_FALSE(window.form.SpeedButton3.enabled);
    window.FormKeyDown(keys::F2, 0);
    window.FormKeyDown(keys::F2, 0);
    EXPECT_EQ(window.runs, 2);
}

TEST_F(WindowTest, EscClosesWithoutAQuestion) {
    window.FormKeyDown(keys::Escape, 0);
    EXPECT_EQ(port.calls(), (std::vector<PortCall>{{PortCallKind::Close, ""}}));

    port.clear();
    window.SpeedButton2Click();
    EXPECT_EQ(port.calls(), (std::vector<PortCall>{{PortCallKind::Close, ""}}));
}

TEST_F(WindowTest, FormActivateRunsOnFirstActivationOnly) {
    window.windowActivated();
    window.windowActivated();
    window.windowActivated();
    EXPECT_EQ(window.activations, 1);
}

TEST_F(WindowTest, ClosingFreesTheWindow) {
    for (TCloseAction start : {caNone, caHide, caFree, caMinimize}) {
        TCloseAction action = start;
        window.FormClose(action);
        EXPECT_EQ(action, caFree);
    }
    EXPECT_TRUE(port.calls().empty());
}

TEST_F(WindowTest, FailuresEscapingAHandlerGoToTheFailureBox) {
    window.dispatch([] { throw core::ConversionError("'2024/01/3.' is not a valid date"); });
    window.dispatch([] { throw core::SilentAbort(); });  // already shown
    window.dispatch([] {
        throw std::runtime_error(
            "Compa\xF1\xED"
            "a");
    });
    window.dispatch([] {});
    EXPECT_EQ(port.calls(), (std::vector<PortCall>{
                                {PortCallKind::Failure, "'2024/01/3.' is not a valid date"},
                                {PortCallKind::Failure,
                                 "Compa\xF1\xED"
                                 "a"},
                            }));
}

TEST_F(WindowTest, WindowComponentsAndWorkingFields) {
    EXPECT_EQ(window.name(), "fimportarfac");
    ASSERT_EQ(window.components().size(), 1u);
    EXPECT_EQ(window.components()[0], &window.FolderDialog1);
    EXPECT_EQ(window.Espera, "");
    // Created, not yet loaded: nothing shown, no handler run.
    EXPECT_TRUE(port.calls().empty());
    EXPECT_EQ(window.activations + window.exits + window.runs, 0);
}

TEST_F(WindowTest, InitialTextBoxes) {
    const FormModel& f = window.form;
    const struct {
        const char* name;
        const TextBox& box;
        bool visible;
        bool password;
    } cases[] = {
        {"Servidor", f.Servidor, true, false}, {"Tusua", f.Tusua, true, false},
        {"TClave", f.TClave, true, true},      {"Cia", f.Cia, true, false},
        {"EPref", f.EPref, true, false},       {"Ubicacion", f.Ubicacion, true, false},
        {"Edit1", f.Edit1, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.box.text, "") << c.name;
        EXPECT_TRUE(c.box.enabled) << c.name;
        EXPECT_EQ(c.box.visible, c.visible) << c.name;
        EXPECT_EQ(c.box.password, c.password) << c.name;
    }
    EXPECT_EQ(f.focused, "Servidor");
}

TEST_F(WindowTest, InitialListsDateButtonsAndPanel) {
    const FormModel& f = window.form;
    EXPECT_EQ(f.caption, "Importaci\xF3n de facturas");

    EXPECT_EQ(f.Separ.items,
              (std::vector<std::string>{"Coma (,)", "Punto y coma (;)", "Tabulador"}));
    EXPECT_EQ(f.Separ.items.at(f.Separ.itemIndex), "Punto y coma (;)");
    EXPECT_EQ(f.Delim.items,
              (std::vector<std::string>{"Ninguno", "Comillas (\")", "Comilla simple (')"}));
    EXPECT_EQ(f.Delim.items.at(f.Delim.itemIndex), "Ninguno");

    EXPECT_FALSE(f.EFecIni.enabled);
    EXPECT_TRUE(f.EFecIni.date.valid());

    EXPECT_EQ(f.ProgressBar1.min, 0);
    EXPECT_EQ(f.ProgressBar1.max, 100);
    EXPECT_EQ(f.ProgressBar1.step, 1);
    EXPECT_EQ(f.ProgressBar1.position, 0);

    EXPECT_FALSE(f.Panel5.visible);

    EXPECT_EQ(f.SpeedButton1.caption, "Explorar");
    EXPECT_TRUE(f.SpeedButton1.enabled);
    EXPECT_EQ(f.SpeedButton2.caption, "Esc: Cancelar");
    EXPECT_TRUE(f.SpeedButton2.enabled);
    EXPECT_EQ(f.SpeedButton3.caption, "F2: Generar");
    EXPECT_FALSE(f.SpeedButton3.enabled);
}

TEST(WindowTexts, AreWindows1252Bytes) {
    const struct {
        const std::string& text;
        const char* bytes;
    } cases[] = {
        {data::texts::kCaption, "Importaci\xF3n de facturas"},
        {data::texts::kCiaLabel,
         "Compa\xF1\xED"
         "a:"},
        {data::texts::kParametrosGroup, "Par\xE1metros "},
        {data::texts::kUbicacionLabel, "Ubicaci\xF3n:"},
        {data::texts::kServidorLabel, "Servidor : "},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, c.bytes);
    EXPECT_EQ(data::texts::kDescription,
              "Este programa importa el archivo plano de pedidos generado por la aplicaci\xF3n "
              "Marquent a Quorvan. Indique el archivo a importar y presione F2, luego sobre la "
              "nueva ventana presione F2 para generar los archivos.");
}

TEST(ProgressBar, StepItWrapsPastMaxAsTheWindowsControlDoes) {
    const struct {
        int steps;
        int position;
    } cases[] = {
        {1, 1}, {50, 50}, {100, 100}, {101, 1}, {125, 25}, {200, 100}, {201, 1}, {202, 2},
    };
    for (const auto& c : cases) {
        ProgressBar bar;
        for (int i = 0; i < c.steps; ++i) bar.StepIt();
        EXPECT_EQ(bar.position, c.position) << c.steps << " steps";
    }
}
