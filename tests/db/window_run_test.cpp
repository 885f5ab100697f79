// The window's model through a whole run from its settings: folders and files whose names
// hold accents, and what the window shows while the run works.
#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "app/no_chooser.h"
#include "app/program.h"
#include "core/text.h"
#include "data/texts.h"
#include "import/transfer_script.h"
#include "tests/support/process_guards.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using app::PortCallKind;

std::string summary(const std::string& day) {
    return day + ";x;y;1500;0;0;z;0;0;0;285;1785;0;0;0;0;0;FD\r\n";
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A program whose installation directory, folder of flat files and working directory all
// have accents in their names (UTF-8 on disk; Windows-1252 in the settings file).
class WindowRunTest : public ::testing::Test {
  protected:
    WindowRunTest() {
        erp_.addCompany("001");
        for (const fs::path& d : {install_, in_, work_, bin_, config_ / "Ostrel"})
            fs::create_directories(d);
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                           QString::fromStdString(config_.string()));
        std::ofstream(config_ / "Ostrel/Quorvan2021.conf")
            << "Directorio=" << install_.string() << "\n";
        std::ofstream(install_ / "settings.conf", std::ios::binary)
            << erp_.root() << "\r\nSYSDBA\r\nx\r\n001\r\n-\r\nAB01\r\n"
            << core::utf8ToCp1252(in_.string()) << "\r\n\r\n";
        // A client that keeps every script it is given, and ends with the status in `status`.
        std::ofstream(bin_ / "winscp.com")
            << "#!/bin/sh\ncat \"${1#/script=}\" >> remote.log\necho 'winscp.com: no server'\n"
               "exit \"$(cat status 2>/dev/null || echo 0)\"\n";
        fs::permissions(bin_ / "winscp.com", fs::perms::owner_all);
        cwd_.emplace(work_.string());
    }

    // Loads the settings, connects and runs as the window does.
    void run() {
        program_.window.dispatch([&] {
            program_.window.FormCreate();
            ASSERT_TRUE(program_.window.connectDatabases());
            program_.window.runImport();
        });
    }
    std::string stored() const {
        return testsupport::queryValue(erp_.companyPath("001"), "SELECT COUNT(*) FROM FACTURAS");
    }

    testsupport::StandInErp erp_;
    testsupport::TempDir dir_;
    fs::path root_ = dir_.path();
    fs::path config_ = root_ / "xdg", install_ = root_ / "Configuración",
             in_ = root_ / "Facturación", work_ = root_ / "Operación", bin_ = root_ / "bin";
    testsupport::EnvGuard client_{"IMPORTARFAC_TRANSFER_CLIENT", (bin_ / "winscp.com").c_str()};
    testsupport::EnvGuard openLine_{"IMPORTARFAC_TRANSFER_OPEN_LINE", "open x"};
    std::optional<testsupport::CwdGuard> cwd_;
    app::RecordingPort port_;
    app::NoChooser chooser_;
    app::Program program_{port_, chooser_, importer::CleanupOptions{0, {}}};
};

TEST_F(WindowRunTest, FoldersAndFilesWithAccentsAreFoundReadWrittenAndRemoved) {
    const std::string folder = core::utf8ToCp1252(in_.string());
    std::ofstream(in_ / "[RDE_12_20240131.txt", std::ios::binary) << summary("31/01/2024");
    std::ofstream(in_ / "[RDE_12_20240201ñ.txt", std::ios::binary) << summary("01/02/2024");
    // No Windows-1252 form: a character outside the code page, and bytes that are no UTF-8.
    std::ofstream(in_ / "[RDE_12_20240202ł.txt", std::ios::binary) << summary("02/02/2024");
    std::ofstream(in_ / "[RDE_12_20240203\xF1.txt", std::ios::binary) << summary("03/02/2024");
    run();

    EXPECT_EQ(port_.calls().size(), port_.count(PortCallKind::Repaint) + 1u);  // and the close
    EXPECT_EQ(program_.window.form.Ubicacion.text, folder);
    EXPECT_EQ(stored(), "2");
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(in_)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"[RDE_12_20240202ł.txt", "[RDE_12_20240203\xF1.txt",
                                           "erroresimp.txt"}));
    const std::string log = slurp(in_ / "erroresimp.txt");
    for (const char* shown : {"[RDE_12_20240202?.txt", "[RDE_12_20240203?.txt"})
        EXPECT_NE(log.find("," + data::texts::kNombreSinCp1252 + folder + "/" + shown + "\r\n"),
                  std::string::npos)
            << log;
    // The script names the file by its Windows-1252 bytes, as the client's account holds it.
    EXPECT_EQ(slurp(work_ / "remote.log"),
              importer::transferScript("open x", "[RDE_12_20240131.txt") +
                  importer::transferScript("open x", "[RDE_12_20240201\xF1.txt"));
}

// In the window a removal on the server that fails shows no box: it goes to the error log,
// and the file is queued for the next run, which removes it.
TEST_F(WindowRunTest, AFailedRemovalOnTheServerGoesToTheErrorLogAndIsRetried) {
    const std::string folder = core::utf8ToCp1252(in_.string());
    std::ofstream(in_ / "[RDE_12_20240131.txt", std::ios::binary) << summary("31/01/2024");
    std::ofstream(work_ / "status") << "3";
    run();
    EXPECT_EQ(stored(), "1");
    EXPECT_EQ(port_.calls().size(), port_.count(PortCallKind::Repaint) + 1u);  // and the close
    EXPECT_FALSE(fs::exists(in_ / "[RDE_12_20240131.txt"));
    EXPECT_NE(slurp(in_ / "erroresimp.txt")
                  .find("," + data::texts::kBorradoRemotoFallido + "[RDE_12_20240131.txt: " +
                        data::texts::kClienteCodigo + "3: winscp.com: no server\r\n"),
              std::string::npos)
        << slurp(in_ / "erroresimp.txt");
    EXPECT_TRUE(fs::exists(work_ / "borrados-pendientes" / "[RDE_12_20240131.txt"));

    fs::remove(work_ / "status");
    fs::remove(work_ / "remote.log");
    app::Program again{port_, chooser_, importer::CleanupOptions{0, {}}};
    again.window.dispatch([&] {
        again.window.FormCreate();
        ASSERT_TRUE(again.window.connectDatabases());
        again.window.runImport();
    });
    EXPECT_EQ(slurp(work_ / "remote.log"),
              importer::transferScript("open x", "[RDE_12_20240131.txt"));
    EXPECT_FALSE(fs::exists(work_ / "borrados-pendientes" / "[RDE_12_20240131.txt"));
}

// What the window shows whenever the run has it repainted: the panel, each file's date and
// prefix, each invoice in Edit1, the progress bar; one repaint per file, per invoice and per
// block of the file read, not one per byte or per step of the bar.
TEST_F(WindowRunTest, TheWindowIsRepaintedAfterEachVisibleStepAndNoMore) {
    struct Shown {
        bool panel, edit1;
        std::string text, prefix;
        core::Date date;
        int position;
    };
    std::vector<Shown> repaints;
    const app::FormModel& f = program_.window.form;
    port_.onCall = [&](const app::PortCall& call) {
        if (call.kind == PortCallKind::Repaint)
            repaints.push_back({f.Panel5.visible, f.Edit1.visible, f.Edit1.text, f.EPref.text,
                                f.EFecIni.date, f.ProgressBar1.position});
    };
    std::ofstream(in_ / "[RDE_12_20240131.txt", std::ios::binary) << summary("31/01/2024");
    std::ofstream(in_ / "[RDE_13_20240201.txt", std::ios::binary) << summary("01/02/2024");
    // 1 MB of detail lines before its summary record: 16 blocks read, about 100 steps.
    std::string detail;
    while (detail.size() < 1024 * 1024) detail += "10;TIQUETE;12;AUTO;1;02/02/2024\r\n";
    std::ofstream(in_ / "[RDE_12_20240202.txt", std::ios::binary)
        << detail << summary("02/02/2024");
    run();
    ASSERT_EQ(stored(), "3");

    ASSERT_GE(repaints.size(), 2u);
    EXPECT_TRUE(repaints.front().panel);  // the run's message, shown at once
    EXPECT_FALSE(repaints.back().panel);  // hidden at the end
    auto seen = [&](auto pred) { return std::any_of(repaints.begin(), repaints.end(), pred); };
    const struct {
        const char* edit1;
        const char* prefix;
        core::Date date;
    } invoices[] = {{"AB0120240131 - PARQUEADEROS DEL NORTE S.A.", "AB01", {2024, 1, 31}},
                    {"AB0120240202 - PARQUEADEROS DEL NORTE S.A.", "AB01", {2024, 2, 2}},
                    {"AB0220240201 - CLIENTES VARIOS", "AB02", {2024, 2, 1}}};
    for (const auto& inv : invoices) {
        SCOPED_TRACE(inv.edit1);
        EXPECT_TRUE(seen([&](const Shown& s) {
            return s.edit1 && s.text == inv.edit1 && s.prefix == inv.prefix && s.date == inv.date;
        }));
    }
    // The big file's steps show while it is read, before its invoice is.
    EXPECT_TRUE(seen([&](const Shown& s) {
        return s.date == core::Date{2024, 2, 2} && s.text != invoices[1].edit1 && s.position > 0;
    }));
    for (size_t i = 1; i < repaints.size(); ++i) {
        const int before = repaints[i - 1].position, now = repaints[i].position;
        EXPECT_TRUE(now >= before || now < 10) << "the bar went back";  // or wrapped past 100
    }
    // 4 for the panel (shown while connecting, shown by the run, shown while the removals on
    // the server end, hidden); per file 1 for its date and prefix and 1 for its invoice; 1 per
    // block whose steps moved the bar (1, 17 and 1): 29, where the big file alone makes about
    // 100 steps.
    EXPECT_EQ(repaints.size(), 4u + 3 * 2 + 19);
}

}  // namespace
