// The import run's frame over real folders and the stand-in databases, with the invoice
// steps and the clean-up replaced by recorders: which files are read, which records are
// handed on, which files are cleaned up or kept, what the log and the window show.
#include <gtest/gtest.h>
#include <unistd.h>
#include <chrono>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/import_window.h"
#include "app/no_chooser.h"
#include "core/errors.h"
#include "data/texts.h"
#include "fb/api.h"
#include "platform/exclusive_file.h"
#include "platform/lock_file.h"
#include "tests/support/file_holder.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCallKind;
using importer::RecordOutcome;
namespace fs = std::filesystem;

struct Handed {
    std::string field0, field3, prefix, date, database;
};

// Answers each summary record with the next scripted outcome (Stored when none is left).
class ScriptedSteps : public importer::InvoiceSteps {
  public:
    ScriptedSteps(app::ImportWindow*& w) : w_(w) {}
    importer::InvoiceResult importRecord(const importer::SummaryRecord& r) override {
        handed.push_back({std::string(r.field(0)), std::string(r.field(3)), w_->form.EPref.text,
                          core::dateText(w_->form.EFecIni.date),
                          w_->fdm.Quorvan.options().database});
        if (fail) fail(handed.size());  // may throw, as a failing invoice does
        if (outcomes.empty()) return RecordOutcome::Stored;
        RecordOutcome o = outcomes.front();
        outcomes.pop_front();
        return o;
    }
    std::deque<RecordOutcome> outcomes;
    std::vector<Handed> handed;
    std::function<void(size_t record)> fail;

  private:
    app::ImportWindow*& w_;
};

class RecordingCleanup : public importer::FileCleanup {
  public:
    importer::CleanupOutcome cleanUp(const std::string&, const std::string& name,
                                     platform::HeldFile&) override {
        cleaned.push_back(name);
        return importer::CleanupOutcome::Removed;
    }
    std::vector<std::string> cleaned;
};

class ImportRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        erp_.addCompany("001");
        erp_.addCompany("002");
        folder_ = dir_.file("in");
        fs::create_directories(folder_);
        w_ = std::make_unique<app::ImportWindow>(port_, chooser_, fdm_, steps_, cleanup_);
        window_ = w_.get();
        app::FormModel& f = w_->form;
        f.Servidor.text = erp_.root();
        f.Tusua.text = "SYSDBA";
        f.TClave.text = "x";
        f.Cia.text = "001";
        f.Ubicacion.text = folder_;
        ASSERT_TRUE(w_->connectDatabases());
        port_.clear();
    }

    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ + "/" + name, std::ios::binary) << bytes;
    }
    bool exists(const std::string& name) { return fs::exists(folder_ + "/" + name); }
    std::string log() {
        std::ifstream in(folder_ + "/erroresimp.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Runs as the event loop would: a failure goes to the default failure box. A run ends by
    // closing the centres' query (the window closes after it); a test that runs again
    // connects again first, as a new program start would.
    void run() {
        w_->dispatch([&] { w_->runImport(); });
    }
    void runAgain() {
        ASSERT_TRUE(w_->connectDatabases());
        run();
    }

    static std::string summary(const std::string& day, const std::string& cars = "1500") {
        return day + ";x;y;" + cars + ";0;0;z;0;0;0;285;1785\r\n";
    }

    testsupport::StandInErp erp_;
    testsupport::TempDir dir_;
    std::string folder_;
    app::RecordingPort port_;
    app::NoChooser chooser_;
    data::Tfdm fdm_{port_};
    app::ImportWindow* window_ = nullptr;
    ScriptedSteps steps_{window_};
    RecordingCleanup cleanup_;
    std::unique_ptr<app::ImportWindow> w_;
};

TEST_F(ImportRunTest, EmptyFolderBoxShowsTheMessageAndCloses) {
    w_->form.Ubicacion.text.clear();
    run();
    EXPECT_EQ(port_.texts(PortCallKind::Information),
              std::vector<std::string>{data::texts::kSinRuta});
    EXPECT_EQ(port_.count(PortCallKind::Close), 1);
    EXPECT_FALSE(w_->form.Panel5.visible);
    EXPECT_TRUE(w_->form.Edit1.visible);
}

TEST_F(ImportRunTest, FolderWithoutFlatFilesClosesSilently) {
    write("other.txt", summary("01/01/2024"));
    write("RDE_12_20240131.txt", summary("01/01/2024"));  // no "[": not a flat file
    run();
    EXPECT_EQ(port_.count(PortCallKind::Information) + port_.count(PortCallKind::Failure), 0);
    EXPECT_EQ(port_.count(PortCallKind::Close), 1);
    EXPECT_TRUE(steps_.handed.empty());
    EXPECT_EQ(w_->lastRun().filesFound, 0);
}

TEST_F(ImportRunTest, EachSummaryRecordIsHandedOnWithTheFilesPrefixAndDate) {
    write("[RDE_12_20240131.txt", "header;line\r\n" + summary("01/01/2024") + "x;no summary\r\n" +
                                      summary("31/12/2024", "9,5"));
    write("[rde_13_20240201_extra.TXT", summary("01/01/2024"));  // the mask ignores case
    run();
    ASSERT_EQ(steps_.handed.size(), 3u);
    EXPECT_EQ(steps_.handed[0].prefix, "AB01");
    EXPECT_EQ(steps_.handed[0].date, "2024/01/31");
    EXPECT_EQ(steps_.handed[1].field3, "9.5");  // "," became "."
    EXPECT_EQ(steps_.handed[2].prefix, "AB02");
    EXPECT_EQ(steps_.handed[2].date, "2024/02/01");
    EXPECT_EQ(cleanup_.cleaned,
              (std::vector<std::string>{"[RDE_12_20240131.txt", "[rde_13_20240201_extra.TXT"}));
    EXPECT_EQ(w_->form.EPref.text, "AB02");
    EXPECT_EQ(port_.count(PortCallKind::Close), 1);
}

TEST_F(ImportRunTest, TheLastSummaryRecordDecidesWhetherTheFileIsCleanedUp) {
    struct Case {
        std::deque<RecordOutcome> outcomes;
        bool cleaned;
    } cases[] = {
        {{RecordOutcome::Refused}, false},
        {{RecordOutcome::Refused, RecordOutcome::Stored}, true},
        {{RecordOutcome::Stored, RecordOutcome::Refused}, false},
        {{RecordOutcome::Stored, RecordOutcome::Duplicate}, true},
    };
    for (const Case& c : cases) {
        cleanup_.cleaned.clear();
        steps_.outcomes = c.outcomes;
        std::string body;
        for (size_t i = 0; i < c.outcomes.size(); ++i) body += summary("01/01/2024");
        write("[RDE_12_20240131.txt", body);
        runAgain();
        EXPECT_EQ(cleanup_.cleaned.size(), c.cleaned ? 1u : 0u) << c.outcomes.size();
    }
}

TEST_F(ImportRunTest, FilesWithoutSummaryRecordsStay) {
    write("[RDE_12_20240101.txt", "");
    write("[RDE_12_20240102.txt", "a;b;c\r\n\r\n");
    run();
    EXPECT_TRUE(steps_.handed.empty());
    EXPECT_TRUE(cleanup_.cleaned.empty());
    EXPECT_EQ(w_->lastRun().filesKept, 2);
}

TEST_F(ImportRunTest, ARecordWithoutLineEndIsNotImportedAndKeepsTheFile) {
    write("[RDE_12_20240131.txt", summary("01/01/2024") + "02/01/2024;x;y;5");
    run();
    ASSERT_EQ(steps_.handed.size(), 1u);    // the unterminated record is never handed on
    EXPECT_TRUE(cleanup_.cleaned.empty());  // deleting the file would lose it
    EXPECT_NE(log().find(data::texts::kRegistroSinFin + folder_ + "/[RDE_12_20240131.txt\r\n"),
              std::string::npos)
        << log();
}

TEST_F(ImportRunTest, AnOverlongSummaryRecordIsRefusedLoggedAndTheFileKept) {
    std::string longField(1500, '7');
    write("[RDE_12_20240131.txt",
          summary("01/01/2024") + "01/01/2024;x;y;" + longField + "\r\n" + summary("03/01/2024"));
    run();
    ASSERT_EQ(steps_.handed.size(), 2u);  // the records around it are imported
    EXPECT_TRUE(cleanup_.cleaned.empty());
    EXPECT_NE(log().find(data::texts::kRegistroLargo), std::string::npos);
}

TEST_F(ImportRunTest, UnknownCentreOrPointOfSaleIsLoggedAndTheRunGoesOn) {
    write("[RDE_99_20240131.txt", summary("01/01/2024"));  // no such centre
    fdm_.General.close();
    testsupport::execSql(erp_.generalPath(), "INSERT INTO CENTROS VALUES ('77', '001', 'X')");
    ASSERT_TRUE(w_->connectDatabases());
    write("[RDE_77_20240131.txt", summary("01/01/2024"));  // a centre without point of sale
    write("[RDE_12_20240131.txt", summary("01/01/2024"));
    run();
    ASSERT_EQ(steps_.handed.size(), 1u);
    EXPECT_EQ(steps_.handed[0].prefix, "AB01");
    EXPECT_TRUE(exists("[RDE_99_20240131.txt"));
    std::string text = log();
    EXPECT_NE(text.find(data::texts::kSinCentro + folder_ + "/[RDE_99_20240131.txt"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(data::texts::kSinPuntoVenta + folder_ + "/[RDE_77_20240131.txt"),
              std::string::npos)
        << text;
    EXPECT_EQ(cleanup_.cleaned, std::vector<std::string>{"[RDE_12_20240131.txt"});
}

TEST_F(ImportRunTest, ALockedFileGetsItsLogLineAndTheNextFileIsRead) {
    write("[RDE_12_20240130.txt", summary("01/01/2024"));
    write("[RDE_12_20240131.txt", summary("01/01/2024"));
    testsupport::FileHolder holder(folder_ + "/[RDE_12_20240130.txt");
    ASSERT_TRUE(holder.holding());
    run();
    ASSERT_EQ(steps_.handed.size(), 1u);
    EXPECT_EQ(steps_.handed[0].date, "2024/01/31");
    // date,time,text CR LF
    std::string text = log();
    std::string expected = "," + data::texts::kErrorAbrir + folder_ + "/[RDE_12_20240130.txt\r\n";
    ASSERT_GE(text.size(), 20u);
    EXPECT_EQ(text.substr(19), expected) << text;
    EXPECT_EQ(text[4], '/');
    EXPECT_EQ(text[10], ',');
    EXPECT_EQ(text[13], ':');
    EXPECT_EQ(w_->lastRun().filesNotOpenable, 1);
}

TEST_F(ImportRunTest, CompanyConnectionSwitchesOncePerChangeOfCompany) {
    // Centres 12 and 13 belong to 001, 21 to 002; files are read in name order.
    for (const char* n : {"[RDE_12_20240101.txt", "[RDE_13_20240101.txt", "[RDE_21_20240101.txt",
                          "[RDE_21_20240102.txt", "[RDE_12_20240102.txt"})
        write(n, summary("01/01/2024"));
    uint64_t before = fdm_.Quorvan.openCount();
    run();
    ASSERT_EQ(steps_.handed.size(), 5u);
    // A run from F2 starts with CiaAct empty: the first file switches too, then only the
    // change from 001 to 002 does.
    EXPECT_EQ(fdm_.Quorvan.openCount() - before, 2u);
    for (int i : {0, 1, 2}) EXPECT_EQ(steps_.handed[i].database, erp_.companyPath("001"));
    for (int i : {3, 4}) EXPECT_EQ(steps_.handed[i].database, erp_.companyPath("002"));
    EXPECT_EQ(w_->context.CiaAct, "002");
}

TEST_F(ImportRunTest, ABadDateInTheNameStopsTheRunAndLeavesTheWindowOpen) {
    write("[RDE_12_2024013.txt", summary("01/01/2024"));
    run();
    EXPECT_EQ(port_.texts(PortCallKind::Failure),
              std::vector<std::string>{"'2024/01/3.' is not a valid date"});
    EXPECT_EQ(port_.count(PortCallKind::Close), 0);
    EXPECT_TRUE(w_->form.Panel5.visible);
    EXPECT_TRUE(exists("[RDE_12_2024013.txt"));
    EXPECT_EQ(w_->context.Arch, 0);  // the file was released
    platform::ExclusiveFile again;
    EXPECT_TRUE(again.open(folder_ + "/[RDE_12_2024013.txt"));
}

TEST_F(ImportRunTest, ProgressBarStepsFollowTheBytesRead) {
    struct Case {
        std::string bytes;
        int position;
    } cases[] = {
        {std::string(50, 'a'), 50},   // Paso 1: one step a byte
        {std::string(250, 'a'), 25},  // Paso 2: 125 steps, past 100 from 0 again
        {[] {                         // ten lines of 3 bytes + CR LF: 40 steps
             std::string s;
             for (int i = 0; i < 10; ++i) s += "abc\r\n";
             return s;
         }(),
         40},
    };
    for (const Case& c : cases) {
        w_->form.ProgressBar1.position = 0;
        write("[RDE_12_20240131.txt", c.bytes);
        runAgain();
        EXPECT_EQ(w_->form.ProgressBar1.position, c.position) << c.bytes.size();
    }
}

TEST_F(ImportRunTest, AnInterruptedRunDoesNotReconnectOrStartASecondRun) {
    // F2 and focus changes inside a running import are ignored.
    struct Reentrant : importer::InvoiceSteps {
        app::ImportWindow* w;
        int nested = 0;
        importer::InvoiceResult importRecord(const importer::SummaryRecord&) override {
            uint64_t opens = w->fdm.General.openCount();
            w->SpeedButton3Click();
            w->CiaExit();
            nested += static_cast<int>(w->fdm.General.openCount() - opens);
            return RecordOutcome::Stored;
        }
    } reentrant;
    reentrant.w = w_.get();
    app::ImportWindow w2(port_, chooser_, fdm_, reentrant, cleanup_);
    reentrant.w = &w2;
    w2.form = w_->form;
    write("[RDE_12_20240131.txt", summary("01/01/2024"));
    w2.dispatch([&] { w2.runImport(); });
    EXPECT_EQ(reentrant.nested, 0);
    EXPECT_EQ(w2.lastRun().invoicesSaved, 1);
}

// Another run, of this or another process, holds the folder: F2 only says so, naming the run
// as its lock file tells, and changes nothing; the window stays open. So too for a run that
// took the folder hours ago (it may hang) and for a lock whose name no regular file has. Once
// the other run is over, F2 imports.
TEST_F(ImportRunTest, ARunFindingAnotherAtWorkOnItsFolderSaysSoAndTouchesNothing) {
    write("[RDE_12_20240131.txt", summary("01/01/2024"));
    const std::string lockPath = folder_ + "/importarfac.lock";
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string holder = data::texts::kProceso + std::to_string(::getpid()) +
                               data::texts::kEnEquipo + host + data::texts::kDesde;
    platform::LockFile other;
    const struct {
        const char* what;
        std::function<void()> hold;
        std::string starts, ends;
        bool anotherRun;
    } cases[] = {
        {"held a moment ago",
         [&] { ASSERT_EQ(other.lock(lockPath), platform::LockFile::Result::Locked); },
         data::texts::kOtraImportacion + folder_ + holder, data::texts::kOtraImportacionFin, true},
        {"held for 7 hours",
         [&] {
             // The holder's own words, as a run that started 7 hours ago wrote them.
             const auto since = std::chrono::system_clock::now() - std::chrono::hours(7);
             std::ofstream(lockPath, std::ios::trunc)
                 << ::getpid() << " " << host << " "
                 << std::chrono::duration_cast<std::chrono::seconds>(since.time_since_epoch())
                        .count()
                 << "\n";
         },
         data::texts::kOtraImportacionAntigua + folder_ + holder,
         data::texts::kLlevaMasDe + "6" + data::texts::kHorasColgada, false},
        {"a link in its place",
         [&] {
             other.unlock();
             fs::create_symlink(folder_ + "/elsewhere", lockPath);
         },
         data::texts::kBloqueoNoArchivo + lockPath, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.hold();
        port_.clear();
        uint64_t statements = fdm_.Quorvan.executedCount();
        run();
        const std::vector<std::string> shown = port_.texts(PortCallKind::Information);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].substr(0, c.starts.size()), c.starts);
        EXPECT_TRUE(shown[0].ends_with(c.ends)) << shown[0];
        EXPECT_EQ(port_.count(PortCallKind::Close), 0);
        EXPECT_FALSE(w_->form.Panel5.visible);
        EXPECT_EQ(fdm_.Quorvan.executedCount(), statements);
        EXPECT_TRUE(steps_.handed.empty());
        EXPECT_TRUE(exists("[RDE_12_20240131.txt"));
        EXPECT_FALSE(exists("erroresimp.txt"));
        EXPECT_EQ(w_->lastRun().anotherRun, c.anotherRun);
    }
    EXPECT_FALSE(fs::exists(folder_ + "/elsewhere"));  // the link was not followed
    fs::remove(lockPath);

    port_.clear();
    run();
    EXPECT_EQ(port_.count(PortCallKind::Information), 0);
    EXPECT_EQ(port_.count(PortCallKind::Close), 1);
    EXPECT_EQ(steps_.handed.size(), 1u);
    // The run let go of the folder when it ended, and left nothing of its lock there.
    EXPECT_FALSE(exists("importarfac.lock"));
    EXPECT_EQ(other.lock(folder_ + "/importarfac.lock"), platform::LockFile::Result::Locked);
}

// --keep-going: a failure inside a file keeps that file and the run goes on with the next; a
// lost connection still stops the run where it happens.
TEST_F(ImportRunTest, KeepGoingPassesOverAFailedFileButNotALostConnection) {
    w_->runOptions.keepGoing = true;
    const char* names[] = {"[RDE_12_20240131.txt", "[RDE_12_20240201.txt", "[RDE_12_20240202.txt"};
    for (const char* name : names) write(name, summary("01/01/2024"));
    steps_.fail = [](size_t record) {
        if (record == 1) throw core::ConversionError("'12a' is not a valid floating point value");
    };
    run();
    EXPECT_EQ(steps_.handed.size(), 3u);
    EXPECT_EQ(port_.texts(PortCallKind::Failure),
              std::vector<std::string>{"'12a' is not a valid floating point value"});
    EXPECT_EQ(port_.count(PortCallKind::Close), 1);  // the run reached its end
    EXPECT_EQ(cleanup_.cleaned, (std::vector<std::string>{names[1], names[2]}));
    ASSERT_EQ(w_->lastRun().attention.size(), 2u);  // the record, then its file
    EXPECT_EQ(w_->lastRun().attention[1].file, names[0]);
    EXPECT_EQ(w_->lastRun().attention[1].outcome, importer::Outcome::Kept);

    steps_.handed.clear();
    cleanup_.cleaned.clear();
    steps_.fail = [](size_t record) {
        if (record == 1)
            throw fb::Error("Error reading data from the connection.", {isc_net_read_err});
    };
    port_.clear();
    runAgain();
    EXPECT_EQ(steps_.handed.size(), 1u);
    EXPECT_EQ(port_.texts(PortCallKind::Failure),
              std::vector<std::string>{"Error reading data from the connection."});
    EXPECT_EQ(port_.count(PortCallKind::Close), 0);
    EXPECT_TRUE(cleanup_.cleaned.empty());
}

}  // namespace
