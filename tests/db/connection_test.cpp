// Window creation and the company connection: the installation-directory entry, the
// settings file, CiaExit's steps and the unattended start.
#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "app/import_window.h"
#include "app/no_chooser.h"
#include "app/settings_load.h"
#include "data/texts.h"
#include "platform/exclusive_file.h"
#include "tests/support/file_holder.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCallKind;

struct CountingSteps : importer::InvoiceSteps {
    importer::InvoiceResult importRecord(const importer::SummaryRecord&) override {
        ++records;
        return importer::RecordOutcome::Stored;
    }
    int records = 0;
};

struct NoCleanup : importer::FileCleanup {
    importer::CleanupOutcome cleanUp(const std::string&, const std::string&,
                                     platform::HeldFile&) override {
        return importer::CleanupOutcome::Removed;
    }
};

class ConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        erp_.addCompany("001");
        // The installation-directory entry lives in a folder of the test's own.
        config_ = dir_.file("xdg");
        std::filesystem::create_directories(config_ + "/Ostrel");
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                           QString::fromStdString(config_));
        install_ = dir_.file("erp-install");
        std::filesystem::create_directories(install_);
    }

    void registerDirectory(const std::string& dir) {
        std::ofstream(config_ + "/Ostrel/Quorvan2021.conf") << "Directorio=" << dir << "\n";
    }
    void writeSettings(const std::string& bytes) {
        std::ofstream(install_ + "/settings.conf", std::ios::binary) << bytes;
    }
    std::string settingsFor(const std::string& cia, const std::string& espera,
                            const std::string& password = "x") {
        return erp_.root() + "\r\nSYSDBA\r\n" + password + "\r\n" + cia + "\r\ndestino\r\n" +
               "AB01\r\n" + dir_.file("in") + "\r\n" + espera + "\r\n";
    }

    testsupport::StandInErp erp_;
    testsupport::TempDir dir_;
    std::string config_, install_;
    app::RecordingPort port_;
    app::NoChooser chooser_;
    data::Tfdm fdm_{port_};
    CountingSteps steps_;
    NoCleanup cleanup_;
    app::ImportWindow w_{port_, chooser_, fdm_, steps_, cleanup_};
};

TEST_F(ConnectionTest, AbsentEntryShowsOneBoxAndLeavesTheBoxesEmpty) {
    w_.dispatch([&] { w_.FormCreate(); });
    EXPECT_EQ(port_.texts(PortCallKind::Information),
              std::vector<std::string>{data::texts::kClaveNoEncontrada});
    EXPECT_EQ(data::texts::kClaveNoEncontrada,
              "No se encontr\xf3 la Clave HKEY_LOCAL_MACHINE\\Software\\Ostrel\\Quorvan2021\\"
              "Directorio");
    EXPECT_TRUE(w_.form.Servidor.text.empty());
    EXPECT_TRUE(w_.Espera.empty());
}

TEST_F(ConnectionTest, SettingsFillTheBoxesFromTheInstallationDirectory) {
    registerDirectory(install_);
    writeSettings("srv:C:/erp\r\nysdba\r\nclave\r\n001\r\nd\r\nAB01\r\n/in\r\n1\r\n");
    w_.dispatch([&] { w_.FormCreate(); });
    EXPECT_EQ(port_.calls().size(), 0u);
    EXPECT_EQ(w_.form.Servidor.text, "srv:C:/erp");
    EXPECT_EQ(w_.form.Tusua.text, "ysdba");
    EXPECT_EQ(w_.form.TClave.text, "clave");
    EXPECT_EQ(w_.form.Cia.text, "001");
    EXPECT_EQ(w_.Destino, "d");
    EXPECT_EQ(w_.form.EPref.text, "AB01");
    EXPECT_EQ(w_.form.Ubicacion.text, "/in");
    EXPECT_EQ(w_.Espera, "1");
    EXPECT_EQ(app::settingsPath(""), "/settings.conf");
}

// Two programs starting together: the one that finds the settings file held while the other
// reads it waits a moment instead of starting with empty boxes.
TEST_F(ConnectionTest, ASettingsFileHeldForAMomentIsWaitedFor) {
    registerDirectory(install_);
    writeSettings("srv:C:/erp\r\nysdba\r\nclave\r\n001\r\n");
    auto holder = std::make_unique<testsupport::FileHolder>(install_ + "/settings.conf");
    ASSERT_TRUE(holder->holding());
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        holder.reset();
    });
    w_.dispatch([&] { w_.FormCreate(); });
    release.join();
    EXPECT_EQ(w_.form.Servidor.text, "srv:C:/erp");
    EXPECT_EQ(w_.form.Cia.text, "001");
}

TEST_F(ConnectionTest, PathsFollowTheServerTextExactly) {
    w_.form.Servidor.text = "srv:/erp/";
    w_.form.Tusua.text = "SYSDBA";
    w_.form.TClave.text = "x";
    w_.form.Cia.text = "001";
    w_.dispatch([&] { w_.CiaExit(); });  // no such server: the attempt fails
    EXPECT_EQ(fdm_.General.options().database, "srv:/erp//datos/general.fdb");
    EXPECT_EQ(port_.count(PortCallKind::Failure), 1);
    EXPECT_FALSE(w_.form.SpeedButton3.enabled);
    EXPECT_TRUE(w_.form.Panel5.visible);
    EXPECT_EQ(w_.form.Panel5.caption, "Conectando a la base de datos 001 ...");
}

TEST_F(ConnectionTest, ConnectingEnablesTheDateAndF2AndWaitsInInteractiveUse) {
    registerDirectory(install_);
    writeSettings(settingsFor("001", "0"));
    std::vector<std::string> panelWhileRepainting;
    port_.onCall = [&](const app::PortCall& c) {
        if (c.kind == PortCallKind::Repaint && w_.form.Panel5.visible)
            panelWhileRepainting.push_back(w_.form.Panel5.caption);
    };
    w_.dispatch([&] { w_.FormCreate(); });
    w_.windowActivated();
    w_.windowActivated();  // a later activation connects no second time
    EXPECT_EQ(panelWhileRepainting,
              std::vector<std::string>{"Conectando a la base de datos 001 ..."});
    EXPECT_EQ(fdm_.General.state(), fb::ConnectionState::Open);
    EXPECT_EQ(fdm_.Quorvan.options().database, erp_.root() + "/datos/001/quorvan.fdb");
    EXPECT_TRUE(w_.form.EFecIni.enabled);
    EXPECT_TRUE(w_.form.SpeedButton3.enabled);
    EXPECT_FALSE(w_.form.Panel5.visible);
    EXPECT_EQ(w_.form.focused, "EFecIni");
    EXPECT_EQ(port_.count(PortCallKind::Close), 0);  // no run started
    EXPECT_EQ(fdm_.General.openCount(), 1u);
    w_.CiaExit();  // leaving Cia or EPref reconnects both
    EXPECT_EQ(fdm_.General.openCount(), 2u);
    EXPECT_EQ(fdm_.Quorvan.openCount(), 2u);
}

TEST_F(ConnectionTest, UnattendedFlagRunsTheImportAtOnce) {
    registerDirectory(install_);
    writeSettings(settingsFor("001", "1"));
    std::filesystem::create_directories(dir_.file("in"));
    std::ofstream(dir_.file("in") + "/[RDE_12_20240131.txt", std::ios::binary)
        << "01/01/2024;x;y;1;0;0;z;0;0;0;0;1\r\n";
    w_.dispatch([&] { w_.FormCreate(); });
    w_.windowActivated();
    EXPECT_EQ(steps_.records, 1);
    EXPECT_EQ(w_.context.CiaAct, "001");
    EXPECT_EQ(port_.count(PortCallKind::Close), 1);
}

TEST_F(ConnectionTest, UnattendedFlagMustBeExactlyOne) {
    registerDirectory(install_);
    for (const char* flag : {"1 ", "01", ""}) {
        writeSettings(settingsFor("001", flag));
        app::ImportWindow w(port_, chooser_, fdm_, steps_, cleanup_);
        w.dispatch([&] { w.FormCreate(); });
        w.windowActivated();
        EXPECT_EQ(steps_.records, 0) << "'" << flag << "'";
        EXPECT_TRUE(w.form.SpeedButton3.enabled);
    }
    // Without the final line end the flag line is not applied.
    std::string s = settingsFor("001", "1");
    writeSettings(s.substr(0, s.size() - 2));
    app::ImportWindow w(port_, chooser_, fdm_, steps_, cleanup_);
    w.dispatch([&] { w.FormCreate(); });
    EXPECT_TRUE(w.Espera.empty());
}

TEST_F(ConnectionTest, WrongPasswordIsOneBoxWithTheDatabaseText) {
    // Embedded opens check no password; a missing company database shows the same path.
    w_.form.Servidor.text = erp_.root();
    w_.form.Tusua.text = "SYSDBA";
    w_.form.TClave.text = "x";
    w_.form.Cia.text = "999";
    w_.dispatch([&] { w_.CiaExit(); });
    ASSERT_EQ(port_.count(PortCallKind::Failure), 1);
    EXPECT_NE(port_.texts(PortCallKind::Failure)[0].find("999"), std::string::npos);
    EXPECT_EQ(fdm_.General.state(), fb::ConnectionState::Open);  // the general one stays
    EXPECT_FALSE(fdm_.QCentros.Active());                        // but not its centres
    EXPECT_FALSE(w_.form.SpeedButton3.enabled);
    EXPECT_EQ(w_.form.Panel5.caption, "Conectando a la base de datos 999 ...");
}

TEST_F(ConnectionTest, MissingUserPasswordOrCompanyDoesNothing) {
    w_.form.Servidor.text = erp_.root();
    w_.form.Tusua.text = "SYSDBA";
    w_.form.Cia.text = "001";
    w_.CiaExit();  // no password
    EXPECT_EQ(fdm_.General.openCount(), 0u);
    EXPECT_TRUE(port_.calls().empty());
}

}  // namespace
