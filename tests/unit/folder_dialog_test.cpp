#include "app/folder_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <vector>

#include "app/tfimportarfac.h"
#include "core/text.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

using namespace app;

namespace {

namespace fs = std::filesystem;

// Answers each browse with the next scripted reply and keeps every request.
class ScriptedChooser : public FolderChooser {
  public:
    std::vector<std::function<std::optional<std::string>(const FolderRequest&)>> replies;
    std::vector<FolderRequest> requests;

    std::optional<std::string> choose(const FolderRequest& request) override {
        requests.push_back(request);
        auto reply = replies.at(requests.size() - 1);
        return reply(request);
    }
    void confirm(const std::string& path) {
        replies.push_back([path](const FolderRequest&) { return path; });
    }
    void cancel() {
        replies.push_back([](const FolderRequest&) { return std::nullopt; });
    }
};

std::string cwdText() {
    const std::u8string utf8 = fs::current_path().u8string();
    return core::utf8ToCp1252(std::string(utf8.begin(), utf8.end()));
}

}  // namespace

TEST(FolderDialog, DefaultsAtCreation) {
    ScriptedChooser chooser;
    TFolderDialog dialog("FolderDialog1", nullptr, chooser);
    EXPECT_EQ(dialog.Title, "");
    EXPECT_EQ(dialog.Caption, "");
    EXPECT_EQ(dialog.Directory, cwdText());
    EXPECT_EQ(dialog.Options, TFolderDialogOptions{fdoNewDialogStyle});
    EXPECT_EQ(dialog.flags(), 0x0040u);
    EXPECT_EQ(dialog.ImageIndex(), 0);
    EXPECT_EQ(dialog.DialogPosition, fdpDefault);
    EXPECT_EQ(dialog.DialogX, 0);
    EXPECT_EQ(dialog.DialogY, 0);
}

TEST(FolderDialog, VersionIsFixed) {
    ScriptedChooser chooser;
    TFolderDialog dialog("d", nullptr, chooser);
    EXPECT_EQ(dialog.Version(), "1.1.0.1");
    dialog.setVersion("2.0.0.0");
    EXPECT_EQ(dialog.Version(), "1.1.0.1");
}

TEST(FolderDialog, EachOptionAddsItsShellFlag) {
    const struct {
        TFolderDialogOption option;
        unsigned flag;
    } cases[] = {
        {fdoBrowseForComputer, 0x1000}, {fdoBrowseForPrinter, 0x2000},
        {fdoDontgoBelowDomain, 0x0002}, {fdoReturnFSAncestors, 0x0008},
        {fdoReturnOnlyFSDirs, 0x0001},  {fdoStatusText, 0x0004},
        {fdoNewDialogStyle, 0x0040},    {fdoNoNewFolderButton, 0x0200},
        {fdoEditBox, 0x0010},
    };
    ScriptedChooser chooser;
    TFolderDialog dialog("d", nullptr, chooser);
    TFolderDialogOptions all;
    for (const auto& c : cases) {
        dialog.Options = {c.option};
        EXPECT_EQ(dialog.flags(), c.flag) << "option " << c.option;
        all.insert(c.option);
    }
    dialog.Options = all;
    EXPECT_EQ(dialog.flags(), 0x325Fu);
    dialog.Options = {};
    EXPECT_EQ(dialog.flags(), 0u);
}

TEST(FolderDialog, TheWindowsInstance) {
    RecordingPort port;
    ScriptedChooser chooser;
    Tfimportarfac window(port, chooser);
    const TFolderDialog& d = window.FolderDialog1;
    EXPECT_EQ(d.name(), "FolderDialog1");
    EXPECT_EQ(d.owner(), &window);
    EXPECT_EQ(d.Caption, "Seleccione la ruta donde se encuentran los archivos a cargar");
    EXPECT_EQ(d.flags(), 0x1240u);
    EXPECT_EQ(d.DialogPosition, fdpDefault);
    EXPECT_EQ(d.DialogX, 0);
    EXPECT_EQ(d.DialogY, 0);
    EXPECT_EQ(d.Title, "");
    EXPECT_EQ(d.Directory, cwdText());
}

TEST(FolderDialog, Position) {
    const DialogRect dialog{37, 41, 301, 199};
    const struct {
        TFolderDialogPosition position;
        int x, y, desktopW, desktopH;
        DialogRect dialog;
        DialogPoint expected;
    } cases[] = {
        // Stays where the system put it, whatever X and Y say.
        {fdpDefault, 500, 500, 1024, 768, dialog, {37, 41}},
        // Integer halves: 512 - 150, 384 - 99.
        {fdpScreenCenter, 0, 0, 1024, 768, dialog, {362, 285}},
        {fdpScreenCenter, 0, 0, 1025, 769, dialog, {362, 285}},
        {fdpScreenCenter, 0, 0, 1280, 1024, {0, 0, 300, 200}, {490, 412}},
        // A dialog larger than the desktop goes off its top-left edge.
        {fdpScreenCenter, 0, 0, 800, 600, {0, 0, 1001, 603}, {-100, -1}},
        {fdpXY, -50, 20, 1024, 768, dialog, {0, 20}},
        {fdpXY, 30, -1, 1024, 768, dialog, {30, 0}},
        {fdpXY, 120, 80, 1024, 768, dialog, {120, 80}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dialogPosition(c.position, c.x, c.y, c.dialog, c.desktopW, c.desktopH),
                  c.expected)
            << "position " << c.position << " x " << c.x << " y " << c.y << " desktop "
            << c.desktopW << "x" << c.desktopH;
    }
}

TEST(FolderDialog, RequestCarriesTheProperties) {
    testsupport::TempDir dir;
    ScriptedChooser chooser;
    core::Component owner("owner", nullptr);
    TFolderDialog dialog("d", &owner, chooser);
    dialog.Directory = dir.path();
    dialog.Title = "Elija";
    dialog.Caption = "Carpeta";
    dialog.Options = {fdoReturnOnlyFSDirs, fdoEditBox};
    dialog.DialogPosition = fdpXY;
    dialog.DialogX = -50;
    dialog.DialogY = 7;
    chooser.cancel();

    EXPECT_FALSE(dialog.Execute());
    ASSERT_EQ(chooser.requests.size(), 1u);
    const FolderRequest& r = chooser.requests[0];
    EXPECT_EQ(r.owner, &owner);
    EXPECT_EQ(r.startFolder, dir.path());
    EXPECT_EQ(r.title, "Elija");
    EXPECT_EQ(r.caption, "Carpeta");
    EXPECT_EQ(r.position, fdpXY);
    EXPECT_EQ(r.x, -50);
    EXPECT_EQ(r.y, 7);
    EXPECT_EQ(r.flags, 0x0011u);
}

TEST(FolderDialog, ConfirmedFolderGoesToDirectoryAndUbicacion) {
    testsupport::TempDir dir;
    RecordingPort port;
    ScriptedChooser chooser;
    Tfimportarfac window(port, chooser);
    chooser.confirm(dir.path());

    window.SpeedButton1Click();
    EXPECT_EQ(window.FolderDialog1.Directory, dir.path());
    EXPECT_EQ(window.form.Ubicacion.text, dir.path());
    EXPECT_EQ(window.FolderDialog1.ImageIndex(), 0);
    EXPECT_TRUE(port.calls().empty());
}

TEST(FolderDialog, NoChoiceChangesNothing) {
    const std::vector<
        std::pair<const char*, std::function<std::optional<std::string>(const FolderRequest&)>>>
        cases = {
            {"cancel", [](const FolderRequest&) { return std::nullopt; }},
            {"item without a path", [](const FolderRequest&) { return std::string(); }},
            {"failure inside the dialog",
             [](const FolderRequest&) -> std::optional<std::string> {
                 throw std::runtime_error("dialog broke");
             }},
        };
    for (const auto& [what, reply] : cases) {
        testsupport::TempDir start;
        RecordingPort port;
        ScriptedChooser chooser;
        Tfimportarfac window(port, chooser);
        window.FolderDialog1.Directory = start.path();
        window.form.Ubicacion.text = "C:\\planos";
        chooser.replies = {reply, reply};

        EXPECT_FALSE(window.FolderDialog1.Execute()) << what;
        window.SpeedButton1Click();
        EXPECT_EQ(window.FolderDialog1.Directory, start.path()) << what;
        EXPECT_EQ(window.form.Ubicacion.text, "C:\\planos") << what;
        EXPECT_TRUE(port.calls().empty()) << what;
    }
}

TEST(FolderDialog, NextBrowseOpensOnTheLastChoiceNotOnUbicacion) {
    testsupport::TempDir first, typed;
    RecordingPort port;
    ScriptedChooser chooser;
    Tfimportarfac window(port, chooser);
    chooser.confirm(first.path());
    chooser.cancel();
    chooser.cancel();

    window.SpeedButton1Click();
    window.form.Ubicacion.text = typed.path();  // typed by hand afterwards
    window.SpeedButton1Click();

    ASSERT_EQ(chooser.requests.size(), 2u);
    EXPECT_EQ(chooser.requests[0].startFolder, cwdText());
    EXPECT_EQ(chooser.requests[1].startFolder, first.path());
    EXPECT_EQ(window.form.Ubicacion.text, typed.path());
}

TEST(FolderDialog, StartFolderMustBeAnExistingDirectory) {
    testsupport::TempDir dir;
    const std::string file = dir.file("plano.txt");
    std::ofstream(file) << "x";
    // A Windows-1252 name ("Año") that exists on disk under its UTF-8 name.
    const std::string accented = dir.path() + "/A\xF1o";
    fs::create_directory(fs::path(dir.path()) / fs::path(u8"Año"));

    const struct {
        std::string directory;
        std::string expectedStart;
    } cases[] = {
        {dir.path() + "/gone", cwdText()}, {file, cwdText()}, {"", cwdText()}, {accented, accented},
        {dir.path(), dir.path()},
    };
    for (const auto& c : cases) {
        ScriptedChooser chooser;
        TFolderDialog dialog("d", nullptr, chooser);
        dialog.Directory = c.directory;
        chooser.cancel();
        EXPECT_FALSE(dialog.Execute());
        ASSERT_EQ(chooser.requests.size(), 1u);
        EXPECT_EQ(chooser.requests[0].startFolder, c.expectedStart) << c.directory;
        EXPECT_EQ(dialog.Directory, c.expectedStart) << c.directory;
    }
}
