#include "app/view/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/import_window.h"
#include "app/tfimportarfac.h"
#include "app/view/qt_ui_port.h"
#include "core/errors.h"
#include "data/fdm.h"
#include "tests/support/support.h"

using namespace app;
using app::view::MainWindow;
using app::view::QtUiPort;

namespace {

class ScriptedChooser : public FolderChooser {
  public:
    std::vector<std::optional<std::string>> replies;
    std::vector<FolderRequest> requests;
    std::optional<std::string> choose(const FolderRequest& request) override {
        requests.push_back(request);
        return replies.at(requests.size() - 1);
    }
};

// Counts the handlers whose real work lives elsewhere; each can be given something to do.
class CountingWindow : public Tfimportarfac {
  public:
    using Tfimportarfac::Tfimportarfac;
    int runs = 0, exits = 0, activations = 0;
    std::function<void()> onRun, onExit;
    void SpeedButton3Click() override {
        ++runs;
        if (onRun) onRun();
    }
    void CiaExit() override {
        ++exits;
        if (onExit) onExit();
    }
    void FormActivate() override { ++activations; }
};

// What a modal box showed before the test answered it.
struct BoxSeen {
    bool shown = false;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// Waits for the next modal message box, notes what it shows and presses its first button.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(BoxSeen& seen) : seen_(seen) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            timer_.stop();
            seen_.shown = true;
            seen_.title = box->windowTitle();
            seen_.text = box->text();
            seen_.icon = box->icon();
            for (QAbstractButton* b : box->buttons()) seen_.buttons << b->text();
            // Queued: the box may be found while it is still being shown, before its event
            // loop runs; a click then would close it before the loop starts.
            QMetaObject::invokeMethod(box->buttons().first(), &QAbstractButton::click,
                                      Qt::QueuedConnection);
        });
        timer_.start();
    }

  private:
    BoxSeen& seen_;
    QTimer timer_;
};

struct MainWindowTest : ::testing::Test {
    QtUiPort port;
    ScriptedChooser chooser;
    CountingWindow window{port, chooser};
    std::unique_ptr<MainWindow> view;

    void SetUp() override {
        view = std::make_unique<MainWindow>(window);
        port.attach(view.get());
    }
    void TearDown() override {
        port.attach(nullptr);
        view.reset();
    }
    void showActive() {
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    template <typename W = QWidget>
    W* child(const char* name) {
        W* w = view->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // The control that has the focus, by name ("" for none of the window's controls).
    QString focused() {
        for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
                return w->objectName();
        return {};
    }
    // A key as the person types it: through the window, on to the focused control.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(view->windowHandle(), static_cast<Qt::Key>(key), modifiers);
    }
};

}  // namespace

TEST_F(MainWindowTest, CaptionSizeAndPlace) {
    showActive();
    EXPECT_EQ(view->windowTitle(), QStringLiteral(u"Importación de facturas"));
    EXPECT_EQ(view->frameGeometry().size(), QSize(412, 455));
    const QRect desktop = view->screen()->geometry();
    EXPECT_EQ(view->frameGeometry().topLeft(), QPoint(desktop.x() + (desktop.width() - 412) / 2,
                                                      desktop.y() + (desktop.height() - 455) / 2));
}

TEST_F(MainWindowTest, LabelsGroupsAndButtonCaptions) {
    QStringList labels;
    for (QLabel* l : view->findChildren<QLabel*>()) labels << l->text();
    for (const QString& expected :
         {QStringLiteral(u"Servidor : "), QStringLiteral(u"Usuario : "),
          QStringLiteral(u"Clave : "), QStringLiteral(u"Compañía:"), QStringLiteral(u"Fecha:"),
          QStringLiteral(u"Prefijo:"), QStringLiteral(u"Ubicación:"), QStringLiteral(u"Separador:"),
          QStringLiteral(u"Delimitador de texto:"),
          QStringLiteral(u"Este programa importa el archivo plano de pedidos generado por la "
                         u"aplicación Marquent a Quorvan. Indique el archivo a importar y presione "
                         u"F2, luego sobre la nueva ventana presione F2 para generar los "
                         u"archivos.")})
        EXPECT_TRUE(labels.contains(expected)) << expected.toStdString();

    QStringList groups;
    for (QGroupBox* g : view->findChildren<QGroupBox*>()) groups << g->title();
    EXPECT_EQ(groups, (QStringList{QStringLiteral(u"Origen:"), QStringLiteral(u"Parámetros ")}));

    EXPECT_EQ(child<QToolButton>("SpeedButton1")->text(), "Explorar");
    EXPECT_EQ(child<QToolButton>("SpeedButton2")->text(), "Esc: Cancelar");
    EXPECT_EQ(child<QToolButton>("SpeedButton3")->text(), "F2: Generar");
    for (const char* name : {"SpeedButton1", "SpeedButton2", "SpeedButton3"}) {
        auto* b = child<QToolButton>(name);
        EXPECT_EQ(b->iconSize(), QSize(46, 32)) << name;
        EXPECT_FALSE(b->icon().isNull()) << name;
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon) << name;
    }
}

TEST_F(MainWindowTest, InitialControls) {
    showActive();
    const struct {
        const char* name;
        int width;
    } sizes[] = {{"Servidor", 253}, {"Tusua", 97}, {"TClave", 97},     {"Cia", 45},
                 {"EFecIni", 89},   {"EPref", 45}, {"Ubicacion", 201}, {"Edit1", 254},
                 {"Separ", 145},    {"Delim", 145}};
    for (const auto& s : sizes) EXPECT_EQ(child(s.name)->width(), s.width) << s.name;
    EXPECT_EQ(child("SpeedButton1")->size(), QSize(67, 59));
    EXPECT_EQ(child("SpeedButton2")->size(), QSize(65, 50));
    EXPECT_EQ(child("SpeedButton3")->size(), QSize(65, 50));
    EXPECT_EQ(child("ProgressBar1")->size(), QSize(255, 17));
    EXPECT_EQ(child("Panel5")->size(), QSize(337, 41));

    EXPECT_EQ(child<QLineEdit>("TClave")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(child<QLineEdit>("Servidor")->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(child("EFecIni")->isEnabled());
    EXPECT_FALSE(child("Edit1")->isVisible());
    EXPECT_FALSE(child("Panel5")->isVisible());
    EXPECT_FALSE(child("SpeedButton3")->isEnabled());
    EXPECT_TRUE(child("SpeedButton2")->isEnabled());
    auto* bar = child<QProgressBar>("ProgressBar1");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(focused(), "Servidor");
}

TEST_F(MainWindowTest, ListsHaveFixedItemsAndTakeNoText) {
    const struct {
        const char* name;
        QStringList items;
        int selected;
    } cases[] = {
        {"Separ", {"Coma (,)", "Punto y coma (;)", "Tabulador"}, 1},
        {"Delim", {"Ninguno", "Comillas (\")", "Comilla simple (')"}, 0},
    };
    for (const auto& c : cases) {
        auto* list = child<QComboBox>(c.name);
        EXPECT_FALSE(list->isEditable()) << c.name;
        QStringList items;
        for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
        EXPECT_EQ(items, c.items) << c.name;
        EXPECT_EQ(list->currentIndex(), c.selected) << c.name;
    }
}

TEST_F(MainWindowTest, TabOrder) {
    showActive();
    // At start the date is disabled and Edit1 hidden; the progress bar and the buttons
    // never take the focus.
    child("Servidor")->setFocus();
    QStringList visited{focused()};
    for (int i = 0; i < 7; ++i) {
        press(Qt::Key_Tab);
        visited << focused();
    }
    EXPECT_EQ(visited, (QStringList{"Servidor", "Tusua", "TClave", "Cia", "EPref", "Ubicacion",
                                    "Separ", "Delim"}));

    // Connected and importing: both join the chain in their places.
    window.form.EFecIni.enabled = true;
    window.form.Edit1.visible = true;
    view->sync();
    child("Cia")->setFocus();
    visited = QStringList{focused()};
    for (int i = 0; i < 7; ++i) {
        press(Qt::Key_Tab);
        visited << focused();
    }
    EXPECT_EQ(visited, (QStringList{"Cia", "EFecIni", "EPref", "Ubicacion", "Edit1", "Separ",
                                    "Delim", "Servidor"}));
}

TEST_F(MainWindowTest, F2AndEscWithModifiersDoNothing) {
    showActive();
    const Qt::KeyboardModifiers held[] = {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier,
                                          Qt::ShiftModifier | Qt::ControlModifier};
    for (Qt::KeyboardModifiers m : held) {
        press(Qt::Key_F2, m);
        press(Qt::Key_Escape, m);
    }
    EXPECT_EQ(window.runs, 0);
    EXPECT_TRUE(view->isVisible());

    press(Qt::Key_F2);
    EXPECT_EQ(window.runs, 1);
}

TEST_F(MainWindowTest, F2ReachesTheHandlerOnceAndThenTheFocusedControl) {
    showActive();
    for (const char* name : {"Servidor", "Separ"}) {
        QWidget* target = child(name);
        target->setFocus();
        // What the control saw, and how many runs had started by then.
        std::vector<int> runsWhenSeen;
        struct Spy : QObject {
            std::function<void()> seen;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::KeyPress &&
                    static_cast<QKeyEvent*>(e)->key() == Qt::Key_F2)
                    seen();
                return false;
            }
        } spy;
        spy.seen = [&] { runsWhenSeen.push_back(window.runs); };
        target->installEventFilter(&spy);
        const int before = window.runs;
        press(Qt::Key_F2);
        target->removeEventFilter(&spy);
        EXPECT_EQ(window.runs, before + 1) << name;  // once, though the key travels upwards
        EXPECT_EQ(runsWhenSeen, std::vector<int>{before + 1}) << name;
    }
    // Typing still works around it.
    auto* servidor = child<QLineEdit>("Servidor");
    servidor->setFocus();
    QTest::keyClicks(servidor, "srv");
    press(Qt::Key_F2);
    QTest::keyClicks(servidor, ":C");
    EXPECT_EQ(servidor->text(), "srv:C");
    EXPECT_EQ(window.form.Servidor.text, "srv:C");
}

// A dropped-down list has a popup window of its own, which takes the keys while it is open.
TEST_F(MainWindowTest, F2AndEscReachTheWindowWhileAListIsDroppedDown) {
    showActive();
    for (const char* name : {"Separ", "Delim"}) {
        SCOPED_TRACE(name);
        auto* list = child<QComboBox>(name);
        list->setFocus();
        list->showPopup();
        QWidget* popup = list->view()->window();
        ASSERT_NE(popup, view.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
        const int before = window.runs;
        for (Qt::KeyboardModifiers m : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier})
            QTest::keyClick(popup->windowHandle(), Qt::Key_F2, m);
        EXPECT_EQ(window.runs, before);
        QTest::keyClick(popup->windowHandle(), Qt::Key_F2);
        EXPECT_EQ(window.runs, before + 1);
        list->hidePopup();
    }
    auto* list = child<QComboBox>("Delim");
    list->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->view()->window()));
    QTest::keyClick(list->view()->window()->windowHandle(), Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_TRUE(view->isVisible());
    QTest::keyClick(list->view()->window()->windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());
}

TEST_F(MainWindowTest, F2StartsTheRunWhileTheButtonIsDisabled) {
    showActive();
    auto* generar = child<QToolButton>("SpeedButton3");
    ASSERT_FALSE(generar->isEnabled());
    QTest::mouseClick(generar, Qt::LeftButton);
    EXPECT_EQ(window.runs, 0);
    press(Qt::Key_F2);
    EXPECT_EQ(window.runs, 1);

    window.form.SpeedButton3.enabled = true;
    view->sync();
    QTest::mouseClick(generar, Qt::LeftButton);
    EXPECT_EQ(window.runs, 2);
}

TEST_F(MainWindowTest, EscClosesTheWindow) {
    showActive();
    press(Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());
}

TEST_F(MainWindowTest, CancelButtonClosesTheWindow) {
    showActive();
    QTest::mouseClick(child("SpeedButton2"), Qt::LeftButton);
    EXPECT_FALSE(view->isVisible());
}

TEST_F(MainWindowTest, LeavingCiaOrEPrefConnects) {
    showActive();
    child("Servidor")->setFocus();
    press(Qt::Key_Tab);  // Servidor -> Tusua
    EXPECT_EQ(window.exits, 0);

    child("Cia")->setFocus();
    press(Qt::Key_Tab);
    EXPECT_EQ(window.exits, 1);
    EXPECT_EQ(focused(), "EPref");

    child("Ubicacion")->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(window.exits, 2);

    // Another window taking the activation is not leaving the box.
    child("Cia")->setFocus();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(window.exits, 2);
}

TEST_F(MainWindowTest, FocusMovedByTheConnectionDoesNotConnectAgain) {
    showActive();
    window.onExit = [this] {
        window.form.EFecIni.enabled = true;
        window.form.SpeedButton3.enabled = true;
        window.form.focused = "EFecIni";
    };
    child("Cia")->setFocus();
    press(Qt::Key_Tab);  // to EPref, then the handler moves the focus on to the date
    EXPECT_EQ(window.exits, 1);
    EXPECT_EQ(focused(), "EFecIni");
    EXPECT_EQ(window.form.focused, "EFecIni");
    EXPECT_TRUE(child("SpeedButton3")->isEnabled());
}

TEST_F(MainWindowTest, FirstActivationOnly) {
    showActive();
    EXPECT_EQ(window.activations, 1);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    EXPECT_EQ(window.activations, 1);
}

TEST_F(MainWindowTest, EditsAndModelMeet) {
    showActive();
    auto* cia = child<QLineEdit>("Cia");
    cia->setFocus();
    QTest::sendKeyEvent(QTest::Click, cia, Qt::Key_Ntilde, QStringLiteral(u"ñ"), Qt::NoModifier);
    QTest::keyClick(cia, '1');
    EXPECT_EQ(window.form.Cia.text,
              "\xF1"
              "1");

    auto* separ = child<QComboBox>("Separ");
    separ->setFocus();
    press(Qt::Key_Down);
    EXPECT_EQ(window.form.Separ.itemIndex, 2);

    auto* date = child<QDateEdit>("EFecIni");
    date->setDate(QDate(2024, 1, 31));
    EXPECT_EQ(window.form.EFecIni.date, (core::Date{2024, 1, 31}));

    window.form.Ubicacion.text = "C:\\A\xF1o \x80";
    window.form.Panel5.caption = "Conectando a la base de datos 001 ...";
    window.form.Panel5.visible = true;
    window.form.ProgressBar1.position = 42;
    window.form.Delim.itemIndex = 2;
    window.form.EFecIni.date = {2023, 12, 5};
    view->sync();
    EXPECT_EQ(child<QLineEdit>("Ubicacion")->text(), QStringLiteral(u"C:\\Año €"));
    EXPECT_TRUE(child("Panel5")->isVisible());
    EXPECT_EQ(child<QLabel>("Panel5")->text(), "Conectando a la base de datos 001 ...");
    EXPECT_EQ(child<QProgressBar>("ProgressBar1")->value(), 42);
    EXPECT_EQ(child<QComboBox>("Delim")->currentIndex(), 2);
    EXPECT_EQ(date->date(), QDate(2023, 12, 5));
}

TEST_F(MainWindowTest, RepaintShowsTheModelWhileAHandlerRuns) {
    showActive();
    bool panelShown = false;
    window.onRun = [&] {
        window.form.Panel5.caption = "Importando facturas. Espere un momento...";
        window.form.Panel5.visible = true;
        window.form.Edit1.visible = true;
        window.port().repaint();
        panelShown = child("Panel5")->isVisible() && child("Edit1")->isVisible() &&
                     child<QLabel>("Panel5")->text() == "Importando facturas. Espere un momento...";
        window.form.Panel5.visible = false;
    };
    press(Qt::Key_F2);
    EXPECT_TRUE(panelShown);
    EXPECT_FALSE(child("Panel5")->isVisible());
    EXPECT_TRUE(child("Edit1")->isVisible());
}

TEST_F(MainWindowTest, ExplorarPutsTheChosenFolderInUbicacion) {
    showActive();
    testsupport::TempDir dir;
    std::filesystem::create_directory(std::filesystem::path(dir.path()) / u8"planos Ñ");
    const std::string chosen = dir.path() + "/planos \xD1";
    chooser.replies = {chosen, std::nullopt};
    QTest::mouseClick(child("SpeedButton1"), Qt::LeftButton);
    const QString shown = QString::fromStdString(dir.path()) + QStringLiteral(u"/planos Ñ");
    EXPECT_EQ(child<QLineEdit>("Ubicacion")->text(), shown);

    QTest::mouseClick(child("SpeedButton1"), Qt::LeftButton);  // cancelled
    EXPECT_EQ(child<QLineEdit>("Ubicacion")->text(), shown);
    ASSERT_EQ(chooser.requests.size(), 2u);
    EXPECT_EQ(chooser.requests[1].startFolder, chosen);
    EXPECT_EQ(chooser.requests[1].caption,
              "Seleccione la ruta donde se encuentran los archivos a cargar");
}

TEST_F(MainWindowTest, FailureOfAHandlerShowsTheFailureBoxAndTheWindowStays) {
    showActive();
    window.onRun = [] { throw core::ConversionError("'2024/01/3.' no es v\xE1lido"); };
    BoxSeen seen;
    BoxAnswerer answer(seen);
    press(Qt::Key_F2);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.text, QStringLiteral(u"'2024/01/3.' no es válido"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.title, "importarfac");
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
    EXPECT_TRUE(view->isVisible());
}

TEST_F(MainWindowTest, PortBoxes) {
    showActive();
    {
        BoxSeen seen;
        BoxAnswerer answer(seen);
        port.error(
            "No se encontr\xF3 el art\xED"
            "culo");
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.title, "Error");
        EXPECT_EQ(seen.text, QStringLiteral(u"No se encontró el artículo"));
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_EQ(seen.buttons, QStringList{"OK"});
    }
    {
        BoxSeen seen;
        BoxAnswerer answer(seen);
        port.information("Debe indicar antes la ruta de los archivos con los datos a importar.");
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.text,
                  "Debe indicar antes la ruta de los archivos con los datos a importar.");
        EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
        EXPECT_EQ(seen.buttons, QStringList{"OK"});
    }
    // A box closing gives the focus back without a second activation.
    EXPECT_EQ(window.activations, 1);
}

namespace {

struct CountingSteps : importer::InvoiceSteps {
    importer::InvoiceResult importRecord(const importer::SummaryRecord&) override {
        ++records;
        return importer::RecordOutcome::Stored;
    }
    int records = 0;
};

struct KeepingCleanup : importer::FileCleanup {
    importer::CleanupOutcome cleanUp(const std::string&, const std::string&,
                                     platform::HeldFile&) override {
        return importer::CleanupOutcome::Changed;
    }
};

}  // namespace

// The real window on the real databases: a reconnection to a server that is not there fails,
// and F2 afterwards must not import through what the earlier connection left (the centres of
// that server, the company database it held): the run fails at its first database step.
TEST(ReconnectionTest, AFailedReconnectionLeavesNothingARunCouldUse) {
    testsupport::StandInErp erp;
    erp.addCompany("001");
    testsupport::TempDir dir;
    std::ofstream(dir.file("[RDE_12_20240131.txt"), std::ios::binary)
        << "01/01/2024;x;y;1500;0;0;z;0;0;0;285;1785\r\n";
    QtUiPort port;
    ScriptedChooser chooser;
    data::Tfdm fdm(port);
    CountingSteps steps;
    KeepingCleanup cleanup;
    ImportWindow window(port, chooser, fdm, steps, cleanup);
    window.form.Servidor.text = erp.root();
    window.form.Tusua.text = "SYSDBA";
    window.form.TClave.text = "x";
    window.form.Cia.text = "001";
    window.form.Ubicacion.text = dir.path();
    MainWindow view(window);
    port.attach(&view);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    auto leaveCia = [&] {
        view.findChild<QLineEdit*>("Cia")->setFocus();
        QTest::keyClick(view.windowHandle(), Qt::Key_Tab);
    };

    leaveCia();
    ASSERT_TRUE(view.findChild<QToolButton*>("SpeedButton3")->isEnabled());
    ASSERT_TRUE(fdm.QCentros.Active());
    // As a run that switched to company 001 and was then stopped by a failure leaves it: the
    // next run would not switch again for a file of 001.
    window.context.CiaAct = "001";

    view.findChild<QLineEdit*>("Servidor")->setText(QString::fromStdString(dir.file("nada")));
    BoxSeen failed;
    {
        BoxAnswerer answer(failed);
        leaveCia();
    }
    ASSERT_TRUE(failed.shown);
    EXPECT_TRUE(failed.text.contains("nada/datos/general.fdb")) << failed.text.toStdString();
    EXPECT_FALSE(fdm.QCentros.Active());
    EXPECT_FALSE(fdm.Quorvan.connected());

    BoxSeen run;
    {
        BoxAnswerer answer(run);
        QTest::keyClick(view.windowHandle(), Qt::Key_F2);
    }
    ASSERT_TRUE(run.shown);
    EXPECT_TRUE(run.text.contains("Quorvan is not open")) << run.text.toStdString();
    EXPECT_EQ(run.icon, QMessageBox::Critical);
    EXPECT_EQ(steps.records, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("[RDE_12_20240131.txt")));
    EXPECT_TRUE(view.isVisible());
    port.attach(nullptr);
}
