// The shipped program's window on a private X display: what the X server shows (caption,
// outer size, place), what the window holds (bands, captions, controls, settings, fonts, tab
// order, read through the inspection plugin), and its picture against tests/screen/
// reference.png. IMPORTARFAC_SCREEN_UPDATE=1 writes the picture as the new reference.
// Exit status 77 (skipped) only when Xvfb cannot start.
#include <gtest/gtest.h>

#include <QDate>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "image_compare.h"
#include "screen_session.h"

// Readable failure messages for the Qt values the tests compare.
void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(", ").toStdString() << ']';
}
void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.width() << 'x' << r.height() << '+' << r.x() << '+' << r.y();
}
void PrintTo(const QSize& s, std::ostream* os) {
    *os << s.width() << 'x' << s.height();
}

namespace {

using screen::Comparison;
using screen::Tolerance;

// The company is empty, so the window does not connect (that needs server, user, password
// and company) and shows no box: it just sits there with the other boxes filled.
const std::vector<std::string> kSettings = {
    "srv:/srv/erp", "SYSDBA", "masterkey", "", "", "FV", "/srv/marquent/rde", "0"};

// Rendering is pinned (fonts, style, display), so the picture should match exactly; the
// tolerance only absorbs rounding differences in smoothing between library builds.
constexpr Tolerance kTolerance{/*channel=*/24, /*fraction=*/0.0002};

const QString kCaption = QString::fromUtf8("Importación de facturas");
constexpr int kOuterWidth = 412;
constexpr int kOuterHeight = 455;

// What main() found before the tests run.
struct Observed {
    std::unique_ptr<screen::ScreenSession> session;
    std::unique_ptr<QGuiApplication> application;  // goes before the display does
    std::string startFailure;
    QJsonObject tree;
    std::vector<screen::XWindow> xWindows;
    QImage picture;
};
Observed* observed = nullptr;

QJsonObject fontOf(const QJsonObject& o) {
    return o["font"].toObject();
}

QRect rectOf(const QJsonValue& v) {
    const QJsonArray a = v.toArray();
    return {a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()};
}

class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(observed->startFailure.empty()) << observed->startFailure;
        const QJsonArray windows = observed->tree["windows"].toArray();
        ASSERT_FALSE(windows.isEmpty());
        // The import window; any other one is a box, which a test below reports.
        window_ = windows[0].toObject();
        for (const QJsonValue& w : windows)
            if (w["title"].toString() == kCaption) window_ = w.toObject();
        for (const QJsonValue& w : window_["widgets"].toArray()) widgets_.append(w.toObject());
    }

    std::optional<QJsonObject> named(const QString& name) const {
        for (const QJsonObject& w : widgets_)
            if (w["name"].toString() == name) return w;
        return std::nullopt;
    }
    QJsonObject control(const QString& name) const {
        std::optional<QJsonObject> w = named(name);
        EXPECT_TRUE(w) << "no control " << name.toStdString();
        return w.value_or(QJsonObject{});
    }
    std::vector<QJsonObject> ofClass(const char* className) const {
        std::vector<QJsonObject> found;
        for (const QJsonObject& w : widgets_)
            if (w["class"].toString() == QLatin1String(className)) found.push_back(w);
        return found;
    }
    std::optional<QJsonObject> group(const QString& title) const {
        for (const QJsonObject& g : ofClass("QGroupBox"))
            if (g["title"].toString() == title) return g;
        return std::nullopt;
    }

    QJsonObject window_;
    QList<QJsonObject> widgets_;
};

TEST_F(ScreenTest, XServerShowsOneWindowWithTheCaptionSizeAndPlace) {
    std::vector<screen::XWindow> shown;
    for (const screen::XWindow& w : observed->xWindows)
        if (w.viewable) shown.push_back(w);
    ASSERT_EQ(shown.size(), 1u) << "viewable top-level windows other than the import window";
    EXPECT_EQ(QString::fromStdString(shown[0].title), kCaption);
    // No window manager on the display: the outer size is the window's own.
    EXPECT_EQ(shown[0].width, kOuterWidth);
    EXPECT_EQ(shown[0].height, kOuterHeight);
    EXPECT_EQ(shown[0].x, (screen::ScreenSession::kScreenWidth - kOuterWidth) / 2);
    EXPECT_EQ(shown[0].y, (screen::ScreenSession::kScreenHeight - kOuterHeight) / 2);
}

TEST_F(ScreenTest, NoBoxIsOpenAndTheWindowStaysOpen) {
    EXPECT_EQ(observed->tree["windows"].toArray().size(), 1) << "a message box is open";
    EXPECT_EQ(window_["title"].toString(), kCaption);
    EXPECT_EQ(rectOf(window_["frameGeometry"]).size(), QSize(kOuterWidth, kOuterHeight));
    EXPECT_TRUE(observed->session->programRunning()) << observed->session->programLog();
}

TEST_F(ScreenTest, BandsTopToBottom) {
    struct Band {
        const char* what;
        std::optional<QJsonObject> widget;
        int y, height;
    };
    // The top and bottom bands are the unnamed plain widgets holding the description and
    // the two lower buttons.
    auto bandOf = [&](const QString& childName) -> std::optional<QJsonObject> {
        std::optional<QJsonObject> child = named(childName);
        if (!child) return std::nullopt;
        for (const QJsonObject& w : ofClass("QWidget"))
            if (rectOf(w["rect"]).contains(rectOf((*child)["rect"]))) return w;
        return std::nullopt;
    };
    std::optional<QJsonObject> top;
    for (const QJsonObject& w : ofClass("QWidget"))
        if (rectOf(w["rect"]).y() == 0) top = w;
    const Band bands[] = {
        {"top band", top, 0, 57},
        {"Origen:", group("Origen:"), 57, 105},
        {"Parámetros ", group(QString::fromUtf8("Parámetros ")), 162, kOuterHeight - 57 - 105 - 52},
        {"bottom band", bandOf("SpeedButton3"), kOuterHeight - 52, 52},
    };
    for (const Band& b : bands) {
        ASSERT_TRUE(b.widget) << b.what;
        EXPECT_EQ(rectOf((*b.widget)["rect"]), QRect(0, b.y, kOuterWidth, b.height)) << b.what;
    }
}

TEST_F(ScreenTest, CaptionsSitInTheirGroups) {
    const struct {
        const char* text;
        const char* group;
    } captions[] = {
        {"Servidor : ", "Origen:"},
        {"Usuario : ", "Origen:"},
        {"Clave : ", "Origen:"},
        {"Compañía:", "Origen:"},
        {"Fecha:", "Parámetros "},
        {"Prefijo:", "Parámetros "},
        {"Ubicación:", "Parámetros "},
        {"Separador:", "Parámetros "},
        {"Delimitador de texto:", "Parámetros "},
    };
    for (const auto& c : captions) {
        const QString text = QString::fromUtf8(c.text);
        bool found = false;
        for (const QJsonObject& l : ofClass("QLabel")) {
            if (l["text"].toString() != text) continue;
            found = true;
            EXPECT_TRUE(l["visible"].toBool()) << c.text;
            EXPECT_EQ(l["group"].toString(), QString::fromUtf8(c.group)) << c.text;
            // Not cut off by its group's edge.
            const std::optional<QJsonObject> g = group(QString::fromUtf8(c.group));
            ASSERT_TRUE(g) << c.group;
            EXPECT_TRUE(rectOf((*g)["rect"]).contains(rectOf(l["rect"]))) << c.text;
        }
        EXPECT_TRUE(found) << "no caption " << c.text;
    }
}

TEST_F(ScreenTest, DescriptionFillsTheTopBand) {
    const QString description = QString::fromUtf8(
        "Este programa importa el archivo plano de pedidos generado por la aplicación Marquent a "
        "Quorvan. Indique el archivo a importar y presione F2, luego sobre la nueva ventana "
        "presione F2 para generar los archivos.");
    std::optional<QJsonObject> label;
    for (const QJsonObject& l : ofClass("QLabel"))
        if (l["text"].toString() == description) label = l;
    ASSERT_TRUE(label) << "no description";
    EXPECT_TRUE((*label)["wordWrap"].toBool());
    const QRect r = rectOf((*label)["rect"]);
    EXPECT_EQ(r.size(), QSize(333, 55));
    EXPECT_GE(r.top(), 0);
    EXPECT_LE(r.bottom(), 56);
}

TEST_F(ScreenTest, ControlsKindsSizesAndStates) {
    const struct {
        const char* name;
        const char* kind;
        const char* group;  // "" for the bottom band
        int width, height;  // 0: not fixed
        bool enabled, visible;
    } controls[] = {
        {"Servidor", "QLineEdit", "Origen:", 253, 0, true, true},
        {"Tusua", "QLineEdit", "Origen:", 97, 0, true, true},
        {"TClave", "QLineEdit", "Origen:", 97, 0, true, true},
        {"Cia", "QLineEdit", "Origen:", 45, 0, true, true},
        {"EFecIni", "QDateEdit", "Parámetros ", 89, 0, false, true},
        {"EPref", "QLineEdit", "Parámetros ", 45, 0, true, true},
        {"Ubicacion", "QLineEdit", "Parámetros ", 201, 0, true, true},
        {"SpeedButton1", "QToolButton", "Parámetros ", 67, 59, true, true},
        {"ProgressBar1", "QProgressBar", "Parámetros ", 255, 17, true, true},
        {"Edit1", "QLineEdit", "Parámetros ", 254, 0, true, false},
        {"Separ", "QComboBox", "Parámetros ", 145, 0, true, true},
        {"Delim", "QComboBox", "Parámetros ", 145, 0, true, true},
        {"SpeedButton3", "QToolButton", "", 65, 50, false, true},
        {"SpeedButton2", "QToolButton", "", 65, 50, true, true},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        const QJsonObject w = control(QString::fromLatin1(c.name));
        EXPECT_EQ(w["class"].toString(), QLatin1String(c.kind));
        EXPECT_EQ(w["group"].toString(), QString::fromUtf8(c.group));
        const QRect r = rectOf(w["rect"]);
        EXPECT_EQ(r.width(), c.width);
        if (c.height) {
            EXPECT_EQ(r.height(), c.height);
        }
        EXPECT_EQ(w["enabled"].toBool(), c.enabled);
        EXPECT_EQ(w["visible"].toBool(), c.visible);
        // Wholly inside its group, or inside the window for the bottom band.
        const std::optional<QJsonObject> g = group(QString::fromUtf8(c.group));
        ASSERT_TRUE(g || !*c.group) << c.group;
        EXPECT_TRUE(
            (*c.group ? rectOf((*g)["rect"]) : QRect(0, 0, kOuterWidth, kOuterHeight)).contains(r));
    }
    // Edit1 lies under the progress bar.
    EXPECT_GE(rectOf(control("Edit1")["rect"]).top(),
              rectOf(control("ProgressBar1")["rect"]).bottom());
    const QJsonObject bar = control("ProgressBar1");
    EXPECT_EQ(bar["minimum"].toInt(), 0);
    EXPECT_EQ(bar["maximum"].toInt(), 100);
}

TEST_F(ScreenTest, SettingsFileFillsTheBoxes) {
    const struct {
        const char* name;
        const char* shown;
    } boxes[] = {
        {"Servidor", "srv:/srv/erp"},
        {"Tusua", "SYSDBA"},
        {"TClave", "*********"},
        {"Cia", ""},
        {"EPref", "FV"},
        {"Ubicacion", "/srv/marquent/rde"},
    };
    for (const auto& b : boxes) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(control(QString::fromLatin1(b.name))["displayText"].toString(),
                  QString::fromUtf8(b.shown));
    }
    EXPECT_EQ(control("TClave")["text"].toString(), "masterkey");
    EXPECT_TRUE(control("TClave")["password"].toBool());
}

TEST_F(ScreenTest, ListsHoldTheirFixedItems) {
    const struct {
        const char* name;
        QStringList items;
        const char* current;
    } lists[] = {
        {"Separ", {"Coma (,)", "Punto y coma (;)", "Tabulador"}, "Punto y coma (;)"},
        {"Delim", {"Ninguno", "Comillas (\")", "Comilla simple (')"}, "Ninguno"},
    };
    for (const auto& l : lists) {
        SCOPED_TRACE(l.name);
        const QJsonObject w = control(QString::fromLatin1(l.name));
        QStringList items;
        for (const QJsonValue& v : w["items"].toArray()) items << v.toString();
        EXPECT_EQ(items, l.items);
        EXPECT_EQ(w["current"].toString(), QString::fromLatin1(l.current));
        EXPECT_FALSE(w["editable"].toBool());
    }
}

TEST_F(ScreenTest, ButtonsCaptionsPicturesAndPlaces) {
    const struct {
        const char* name;
        const char* caption;
    } buttons[] = {
        {"SpeedButton1", "Explorar"},
        {"SpeedButton3", "F2: Generar"},
        {"SpeedButton2", "Esc: Cancelar"},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.name);
        const QJsonObject w = control(QString::fromLatin1(b.name));
        EXPECT_EQ(w["text"].toString(), QString::fromLatin1(b.caption));
        EXPECT_TRUE(w["hasIcon"].toBool());
        EXPECT_TRUE(w["textUnderIcon"].toBool());
        EXPECT_TRUE(w["flat"].toBool());
        EXPECT_EQ(fontOf(w)["family"].toString(), "Arial Narrow");
        EXPECT_EQ(fontOf(w)["pointSize"].toInt(), 8);
        EXPECT_EQ(fontOf(w)["usedFamily"].toString(), "Liberation Sans Narrow");
    }
    // "F2: Generar" on the left of the bottom band, "Esc: Cancelar" on the right.
    const QRect generar = rectOf(control("SpeedButton3")["rect"]);
    const QRect cancelar = rectOf(control("SpeedButton2")["rect"]);
    EXPECT_LT(generar.center().x(), kOuterWidth / 2);
    EXPECT_GT(cancelar.center().x(), kOuterWidth / 2);
}

TEST_F(ScreenTest, FontsAsAskedAndPinned) {
    EXPECT_EQ(fontOf(window_)["family"].toString(), "MS Sans Serif");
    EXPECT_EQ(fontOf(window_)["pointSize"].toInt(), 8);
    // The test's font setup is what draws the picture; without it the reference means nothing.
    EXPECT_EQ(fontOf(window_)["usedFamily"].toString(), "Liberation Sans");
    for (const char* name : {"Servidor", "Separ", "EPref"})
        EXPECT_EQ(fontOf(control(name))["family"].toString(), "MS Sans Serif") << name;
}

TEST_F(ScreenTest, MessagePanelHiddenOverTheOrigenGroup) {
    const QJsonObject panel = control("Panel5");
    EXPECT_FALSE(panel["visible"].toBool());
    const QRect r = rectOf(panel["rect"]);
    EXPECT_EQ(r.size(), QSize(337, 41));
    std::optional<QJsonObject> origen = group("Origen:");
    ASSERT_TRUE(origen);
    EXPECT_TRUE(rectOf((*origen)["rect"]).contains(r));
    EXPECT_EQ(fontOf(panel)["pointSize"].toInt(), 10);
    EXPECT_EQ(panel["windowText"].toString(), "#000080");  // navy
    EXPECT_EQ(panel["frameShadow"].toInt(), 0x0030);       // QFrame::Sunken
}

TEST_F(ScreenTest, DatePickerDisabledShowingToday) {
    const QJsonObject picker = control("EFecIni");
    EXPECT_FALSE(picker["enabled"].toBool());
    // The window opened moments ago; around midnight that may have been yesterday.
    const QDate shown = QDate::fromString(picker["date"].toString(), Qt::ISODate);
    const QDate today = QDate::currentDate();
    EXPECT_TRUE(shown == today || shown == today.addDays(-1)) << shown.toString().toStdString();
}

TEST_F(ScreenTest, TabOrder) {
    QStringList order;
    for (const QJsonValue& v : window_["tabOrder"].toArray())
        if (v.toString() != "qt_spinbox_lineedit") order << v.toString();  // the date's inner edit
    // The progress bar and the flat buttons take no focus.
    const QStringList expected = {"Servidor", "Tusua",     "TClave", "Cia",   "EFecIni",
                                  "EPref",    "Ubicacion", "Edit1",  "Separ", "Delim"};
    EXPECT_EQ(order, expected);
}

// Areas whose pixels may change from run to run: the date text (today's date).
QList<QRect> volatileAreas(const QList<QJsonObject>& widgets) {
    QList<QRect> masks;
    for (const QJsonObject& w : widgets)
        if (w["name"].toString() == "qt_spinbox_lineedit") masks << rectOf(w["rect"]);
    return masks;
}

std::string describe(const Comparison& c) {
    return std::to_string(c.differing) + " of " + std::to_string(c.compared) +
           " pixels differ (largest channel difference " +
           std::to_string(c.largestChannelDifference) + ")";
}

TEST_F(ScreenTest, PictureMatchesTheReference) {
    const QString reference = QString::fromUtf8(REFERENCE_PNG);
    const QString out = QString::fromUtf8(OUTPUT_DIR);
    QFile::remove(out + "/diff.png");
    ASSERT_TRUE(observed->picture.save(out + "/actual.png"));
    if (qEnvironmentVariable("IMPORTARFAC_SCREEN_UPDATE") == "1") {
        ASSERT_TRUE(observed->picture.save(reference));
        GTEST_SKIP() << "reference written: " << reference.toStdString();
    }
    const QImage expected(reference);
    ASSERT_FALSE(expected.isNull()) << "no reference picture " << reference.toStdString()
                                    << "; IMPORTARFAC_SCREEN_UPDATE=1 writes it";
    const Comparison c = screen::compareImages(observed->picture, expected, kTolerance.channel,
                                               volatileAreas(widgets_));
    if (!c.within(kTolerance)) c.diff.save(out + "/diff.png");
    EXPECT_TRUE(c.sameSize) << "picture " << observed->picture.width() << "x"
                            << observed->picture.height() << ", reference " << expected.width()
                            << "x" << expected.height();
    EXPECT_TRUE(c.within(kTolerance))
        << describe(c) << "; see " << out.toStdString() << "/actual.png and diff.png";
}

// The tolerance must still see small faults: each spoilt copy of the picture is refused.
TEST_F(ScreenTest, ToleranceStillSeesSmallFaults) {
    const QImage picture = observed->picture.convertToFormat(QImage::Format_RGB32);
    const QColor background = picture.pixelColor(2, 2);
    auto erase = [&](const QRect& r) {
        QImage spoilt = picture;
        QPainter(&spoilt).fillRect(r, background);
        return spoilt;
    };
    auto captionRect = [&](const char* text) {
        for (const QJsonObject& l : ofClass("QLabel"))
            if (l["text"].toString() == QString::fromUtf8(text)) return rectOf(l["rect"]);
        return QRect();
    };
    const struct {
        const char* fault;
        QImage image;
    } faults[] = {
        {"window moved one pixel right",
         [&] {
             QImage moved = picture;
             QPainter(&moved).drawImage(1, 0, picture);
             return moved;
         }()},
        {"caption \"Fecha:\" missing", erase(captionRect("Fecha:"))},
        {"button \"F2: Generar\" missing", erase(rectOf(control("SpeedButton3")["rect"]))},
        {"password box without its stars",
         erase(rectOf(control("TClave")["rect"]).adjusted(3, 3, -3, -3))},
    };
    for (const auto& f : faults) {
        const Comparison c =
            screen::compareImages(f.image, picture, kTolerance.channel, volatileAreas(widgets_));
        EXPECT_FALSE(c.within(kTolerance)) << f.fault << ": " << describe(c);
    }
}

// The comparison itself, on small made-up pictures.
TEST(ImageCompare, CountsPixelsBeyondTheChannelToleranceOutsideMasks) {
    QImage base(10, 10, QImage::Format_RGB32);
    base.fill(qRgb(100, 100, 100));
    auto with = [&](int x, int y, QRgb colour) {
        QImage changed = base;
        changed.setPixel(x, y, colour);
        return changed;
    };
    const struct {
        const char* what;
        QImage actual;
        QList<QRect> masks;
        qsizetype differing, compared;
    } cases[] = {
        {"same picture", base, {}, 0, 100},
        {"one pixel beyond", with(3, 4, qRgb(100, 130, 100)), {}, 1, 100},
        {"one pixel within", with(3, 4, qRgb(100, 120, 100)), {}, 0, 100},
        {"change under a mask", with(3, 4, qRgb(0, 0, 0)), {QRect(2, 3, 3, 3)}, 0, 91},
        {"change beside a mask", with(5, 4, qRgb(0, 0, 0)), {QRect(2, 3, 3, 3)}, 1, 91},
    };
    for (const auto& c : cases) {
        const Comparison r = screen::compareImages(c.actual, base, 20, c.masks);
        EXPECT_TRUE(r.sameSize) << c.what;
        EXPECT_EQ(r.differing, c.differing) << c.what;
        EXPECT_EQ(r.compared, c.compared) << c.what;
        EXPECT_EQ(r.diff.size(), base.size()) << c.what;
    }
    const Comparison one = screen::compareImages(with(3, 4, qRgb(100, 130, 100)), base, 20);
    EXPECT_EQ(one.diff.pixel(3, 4), qRgb(255, 0, 0));
    EXPECT_TRUE(one.within({20, 0.01}));
    EXPECT_FALSE(one.within({20, 0.0}));
}

TEST(ImageCompare, PicturesOfDifferentSizesAreWhollyDifferent) {
    QImage a(10, 10, QImage::Format_RGB32), b(10, 11, QImage::Format_RGB32);
    a.fill(Qt::white);
    b.fill(Qt::white);
    const Comparison r = screen::compareImages(a, b, 255);
    EXPECT_FALSE(r.sameSize);
    EXPECT_FALSE(r.within({255, 1.0}));
}

// Starts the display and the program, waits for the window and takes its picture from the
// screen, as another program on the display sees it.
void observe(Observed& o, int& argc, char** argv) {
    try {
        o.session->startProgram(kSettings);
        o.tree = o.session->waitForWidgetTree(std::chrono::seconds(60));
    } catch (const std::exception& e) {
        o.startFailure = e.what();
        return;
    }
    o.xWindows = o.session->topLevelWindows();
    qputenv("DISPLAY", o.session->displayName().c_str());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_QPA_PLATFORMTHEME", "generic");
    qputenv("XDG_RUNTIME_DIR", o.session->runtimeDir().c_str());
    o.application = std::make_unique<QGuiApplication>(argc, argv);
    const QJsonArray windows = o.tree["windows"].toArray();
    if (windows.isEmpty()) {
        o.startFailure = "the widget tree lists no window";
        return;
    }
    const QRect place = rectOf(windows[0].toObject()["frameGeometry"]);
    auto grab = [&] {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, place.x(), place.y(), place.width(), place.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    // A busy machine may still be drawing: the picture counts once two grabs agree.
    o.picture = grab();
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        QImage again = grab();
        if (again == o.picture) break;
        o.picture = std::move(again);
    }
    if (o.picture.isNull()) o.startFailure = "the screen could not be read";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    Observed o;
    try {
        o.session = std::make_unique<screen::ScreenSession>(PROGRAM_PATH, PLUGIN_DIR, OUTPUT_DIR);
    } catch (const screen::XvfbUnavailable& e) {
        std::cout << "Xvfb could not start (" << e.what() << "); the screen test is skipped\n";
        return 77;
    }
    observe(o, argc, argv);
    observed = &o;
    const int result = RUN_ALL_TESTS();
    observed = nullptr;
    return result;
}
