#pragma once
// End-to-end set-up for the invoice steps: stand-in databases, a folder of flat files, the
// window bound to the data module and an InvoiceImporter, and a run as the event loop would
// start it. Results are read back from the company database through isql.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/no_chooser.h"
#include "app/quorvan_window.h"
#include "app/recording_port.h"
#include "fb/connection.h"
#include "fb/sql_text.h"
#include "import/invoice_importer.h"
#include "tests/support/support.h"

namespace invoiceimport {

using testsupport::Row;

// One summary record of a flat file, ";"-separated: the fields the import reads, the others
// filled with something.
struct Summary {
    std::string day = "01/01/2024";                    // "20" at positions 7-8
    std::string cars = "0", motos = "0", bicis = "0";  // fields 3, 4, 5
    std::string f7 = "0", f8 = "0", f9 = "0";
    std::string tax = "0", total = "0";  // fields 10, 11
    std::vector<std::string> groups;     // discount-group columns from field 17
    bool fd = true;                      // "FD" after the groups

    std::string line() const {
        std::vector<std::string> f = {day, "x", "y",   cars, motos, bicis, "z", f7, f8,
                                      f9,  tax, total, "a",  "b",   "c",   "d", "e"};
        f.insert(f.end(), groups.begin(), groups.end());
        if (fd) f.push_back("FD");
        std::string s;
        for (size_t i = 0; i < f.size(); ++i) s += (i ? ";" : "") + f[i];
        return s + "\r\n";
    }
};

// The window needs its invoice steps when it is built, and the importer needs the window:
// this stands in for the importer until both exist.
class StepsForwarder : public importer::InvoiceSteps {
  public:
    importer::InvoiceSteps* target = nullptr;
    // Runs after each record with its outcome (the buffers as the importer left them).
    std::function<void(importer::RecordOutcome)> after;
    importer::InvoiceResult importRecord(const importer::SummaryRecord& r) override {
        importer::InvoiceResult result = target->importRecord(r);
        if (after) after(result.outcome);
        return result;
    }
};

// Notes the files it is handed; with `real` set, hands them on to it as well.
class RecordingCleanup : public importer::FileCleanup {
  public:
    importer::CleanupOutcome cleanUp(const std::string& direc, const std::string& name,
                                     platform::ExclusiveFile& file) override {
        cleaned.push_back(name);
        return real ? real->cleanUp(direc, name, file) : importer::CleanupOutcome::Removed;
    }
    std::vector<std::string> cleaned;
    importer::FileCleanup* real = nullptr;
};

class RecordingReplication : public importer::InvoiceReplication {
  public:
    std::function<void()> onReplicate;
    int calls = 0;
    importer::BranchCopies replicate() override {
        ++calls;
        if (onReplicate) onReplicate();
        return {};
    }
};

// Every statement text sent by any connection while the object lives.
class StatementLog {
  public:
    StatementLog() {
        fb::Connection::setStatementHook(
            [this](const std::string& sql, const std::vector<fb::Value>& params) {
                texts.push_back(fb::renderSql(sql, params));
            });
    }
    ~StatementLog() { fb::Connection::setStatementHook(nullptr); }
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;

    // How often `part` stands in the texts sent (an INSERT inside a block counts too).
    size_t count(const std::string& part) const {
        size_t n = 0;
        for (const std::string& t : texts)
            for (size_t at = t.find(part); at != std::string::npos; at = t.find(part, at + 1)) ++n;
        return n;
    }
    // The texts that start with `start`, in the order sent.
    std::vector<std::string> startingWith(const std::string& start) const {
        std::vector<std::string> out;
        for (const std::string& t : texts)
            if (t.rfind(start, 0) == 0) out.push_back(t);
        return out;
    }
    std::vector<std::string> texts;
};

class InvoiceImportTest : public ::testing::Test {
  protected:
    InvoiceImportTest() {
        erp_.addCompany("001");
        erp_.addCompany("002");
        folder_ = dir_.file("in");
        std::filesystem::create_directories(folder_);
        w_ = std::make_unique<app::ImportWindow>(port_, chooser_, fdm_, forwarder_, cleanup_);
        importer_ =
            std::make_unique<importer::InvoiceImporter>(w_->context, *w_, port_, fdm_, w_->buffers,
                                                        &replication_);
        forwarder_.target = importer_.get();
        // As the window's creation does: refused rows are shown translated and abort.
        fdm_.ConfigurarProviders(*w_);
        app::FormModel& f = w_->form;
        f.Servidor.text = erp_.root();
        f.Tusua.text = "SYSDBA";
        f.TClave.text = "x";
        f.Cia.text = "001";
        f.Ubicacion.text = folder_;
        f.Separ.itemIndex = 1;  // ";"
        f.Delim.itemIndex = 0;  // no delimiter
    }

    // A summary record whose only amount is the cars' one.
    static Summary cars(const std::string& amount) {
        Summary s;
        s.cars = amount;
        return s;
    }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ + "/" + name, std::ios::binary) << bytes;
    }
    void write(const std::string& name, const std::vector<Summary>& records) {
        std::string body;
        for (const Summary& s : records) body += s.line();
        write(name, body);
    }
    bool exists(const std::string& name) const {
        return std::filesystem::exists(folder_ + "/" + name);
    }
    std::string errorLog() const {
        std::ifstream in(folder_ + "/erroresimp.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Connects from the boxes and runs the import as F2 would: a failure that stops the run
    // lands in the default failure box.
    void run() {
        port_.clear();
        w_->dispatch([&] {
            if (!w_->connectDatabases()) throw std::runtime_error("not connected");
            w_->runImport();
        });
    }

    std::string company(const std::string& cia = "001") const { return erp_.companyPath(cia); }
    std::vector<Row> rows(const std::string& sql, const std::string& cia = "001") const {
        return testsupport::queryRows(company(cia), sql);
    }
    std::string value(const std::string& sql, const std::string& cia = "001") const {
        return testsupport::queryValue(company(cia), sql);
    }
    void exec(const std::string& sql, const std::string& cia = "001") const {
        testsupport::execSql(company(cia), sql);
    }
    int invoiceCount(const std::string& cia = "001") const {
        return std::stoi(value("SELECT COUNT(*) FROM FACTURAS", cia));
    }
    int lineCount(const std::string& cia = "001") const {
        return std::stoi(value("SELECT COUNT(*) FROM FACTURAS_DETALLE", cia));
    }
    std::vector<std::string> boxes(app::PortCallKind kind) const { return port_.texts(kind); }

    testsupport::StandInErp erp_;
    testsupport::TempDir dir_;
    std::string folder_;
    app::RecordingPort port_;
    app::NoChooser chooser_;
    data::Tfdm fdm_{port_};
    StepsForwarder forwarder_;
    RecordingCleanup cleanup_;
    RecordingReplication replication_;
    std::unique_ptr<app::ImportWindow> w_;
    std::unique_ptr<importer::InvoiceImporter> importer_;
};

}  // namespace invoiceimport
