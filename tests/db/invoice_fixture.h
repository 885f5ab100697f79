#pragma once
// Set-ups for the invoice tests on stand-in databases, results read back through isql:
// - InvoiceBuffers: the window's invoice buffers on a company database (a data module whose
//   company connection points at datos/001, the buffers bound to it, the window's
//   line-numbering hook) with a record of every statement sent;
// - InvoiceImportTest: a folder of flat files, the window bound to the data module and the
//   invoice importer, and a run as the event loop would start it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/import_window.h"
#include "app/no_chooser.h"
#include "core/money.h"
#include "data/fdm.h"
#include "fb/connection.h"
#include "fb/sql_text.h"
#include "import/invoice_importer.h"
#include "import/window_buffers.h"
#include "tests/support/fault_env.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace invoicetest {

using testsupport::Row;

// Builds the templates, and so points the engine at its shared mode, before any test of the
// binary attaches a database: isql-fb can then read a file the test holds open.
class SharedEngine : public ::testing::Environment {
  public:
    void SetUp() override {
        testsupport::templatePath(testsupport::Template::CompanySample);
        testsupport::templatePath(testsupport::Template::Branch);
    }
};
inline ::testing::Environment* const kSharedEngine =
    ::testing::AddGlobalTestEnvironment(new SharedEngine);

// Every statement text sent while the object lives by the connections of `fdm` and the branch
// connections made meanwhile.
class StatementLog {
  public:
    // The texts as prepared, or with their parameters written in.
    enum class Texts { Prepared, Rendered };
    explicit StatementLog(data::Tfdm& fdm, Texts kind = Texts::Rendered) : fdm_(fdm) {
        fdm_.setConnectionHooks({.statement = [this, kind](const std::string& sql,
                                                           const std::vector<fb::Value>& params) {
            texts.push_back(kind == Texts::Rendered ? fb::renderSql(sql, params) : sql);
        }});
    }
    ~StatementLog() { fdm_.setConnectionHooks({}); }
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

  private:
    data::Tfdm& fdm_;
};

class InvoiceBuffers : public ::testing::Test {
  protected:
    void SetUp() override {
        company = erp.addCompany("001");
        w.CFactdetalle.AfterInsert = [this](records::Buffer& d) { CFactdetalleAfterInsert(d); };
    }

    // Attaches the company database and opens the invoice buffer as a flat file does.
    void connect() {
        fdm.Quorvan.options().database = company;
        fdm.Quorvan.options().user = "SYSDBA";
        // The rows go in blocks as they do over a network, refusals included.
        fdm.Quorvan.options().insertBlocks = true;
        fdm.Quorvan.open();
        w.CFacturas.Open();
        sent.clear();
    }

    // The window's numbering of a new line.
    void CFactdetalleAfterInsert(records::Buffer& DataSet) {
        ++NroIte;
        DataSet.FieldByName("FADE_ITEM").setInteger(NroIte);
        DataSet.FieldByName("FADE_ANULADO").setString("N");
        DataSet.FieldByName("FADE_TRANSMIT").setString("N");
    }

    int newId() {
        fdm.SCambieidfact.ExecProc();
        return fdm.SCambieidfact.params().ParamByName("ID").value.integer;
    }

    // Adds and accepts a header of point of sale 12 with the columns the import sets.
    int addHeader(int id = 0) {
        if (id == 0) id = newId();
        records::Buffer& h = w.CFacturas;
        h.Insert();
        h.FieldByName("FACT_ID").setInteger(id);
        h.FieldByName("PTVT_ID").setInteger(12);
        h.FieldByName("VEND_COD").setInteger(7);
        h.FieldByName("TERC_NIT").setString("800100200");
        h.FieldByName("FACT_FECHA").setDate({2024, 1, 31});
        h.FieldByName("FACT_VENCE").setDate({2024, 1, 31});
        h.FieldByName("FACT_IVAINC").setString("S");
        h.FieldByName("FACT_IVAMONTO").setMoney(m("285"));
        h.FieldByName("FACT_RTFTEMONTO").setMoney(m("0"));
        h.FieldByName("FACT_RTIVAMONTO").setMoney(m("0"));
        h.FieldByName("FACT_RTICAMONTO").setMoney(m("0"));
        h.FieldByName("PREF_PRE").setString("AB01");
        h.FieldByName("FACT_NOMCLIENTE").setString("PARQUEADEROS DEL NORTE S.A.");
        h.FieldByName("FACT_ANULADO").setString("N");
        h.FieldByName("FACT_TRANSMIT").setString("S");
        h.FieldByName("FACT_TOTAL").setMoney(m("1785"));
        h.FieldByName("FACT_SUCURSAL").setString("12");
        h.FieldByName("FACT_FACTOR").setMoney(m("1"));
        h.FieldByName("FACT_NUMERO").setString(std::to_string(id));
        h.FieldByName("FACT_RTCREE").setMoney(m("2.5"));
        h.FieldByName("FACT_RTCREEM").setMoney(m("37.5"));
        h.FieldByName("FACT_TRM").setMoney(m("1"));
        h.Post();
        return id;
    }

    // Adds and accepts a line of `article` to the current header (FACT_ID left to the buffer).
    void addLine(const std::string& article, const char* price = "1500") {
        records::Buffer& d = w.CFactdetalle;
        d.Insert();
        d.FieldByName("BODE_COD").setString("01");
        d.FieldByName("ARTI_COD").setString(article);
        d.FieldByName("FADE_CODBAR").setString(article);
        d.FieldByName("FADE_DESC").setString("SERVICIO DE PARQUEADERO");
        d.FieldByName("FADE_UNIDAD").setString("UND");
        d.FieldByName("FADE_CANT").setMoney(m("1"));
        d.FieldByName("FADE_PRUNIT").setMoney(m(price));
        d.FieldByName("FADE_FACTOR").setMoney(m("1"));
        d.FieldByName("LIPR_COD").setInteger(1);
        d.FieldByName("FADE_DTOPORC").setMoney(m("0"));
        d.FieldByName("FADE_DTOMONTO").setMoney(m("0"));
        d.FieldByName("FADE_IVAPORC").setMoney(m("19"));
        d.FieldByName("FADE_IVAMONTO").setMoney(m("285"));
        d.FieldByName("FADE_CONSUMO").setMoney(m("0"));
        d.FieldByName("FADE_TOTAL").setMoney(m(price));
        d.FieldByName("FADE_DTO1").setMoney(m("0"));
        d.FieldByName("FADE_DTO2").setMoney(m("0"));
        d.FieldByName("FADE_DTOM1").setMoney(m("0"));
        d.FieldByName("FADE_DTOM2").setMoney(m("0"));
        d.FieldByName("FADE_DTOM3").setMoney(m("0"));
        d.Post();
    }

    // A header with one line per article, saved as the import saves it; the counter is reset
    // afterwards whatever the outcome. Returns the header's id and the apply's result.
    std::pair<int, int> saveInvoice(const std::vector<std::string>& articles) {
        int id = addHeader();
        for (const std::string& a : articles) addLine(a);
        int refused = w.CFacturas.ApplyUpdates(0);
        NroIte = 0;
        return {id, refused};
    }

    // The rows sent since the last clear, by INSERT statement or inside a block, optionally
    // only those into `table`.
    int inserts(const std::string& table = "") const {
        return static_cast<int>(log.count(insertInto(table)));
    }
    // The INSERT statements of one row each (as the rows of a refused block are sent again).
    int singleInserts(const std::string& table = "") const {
        return static_cast<int>(log.startingWith(insertInto(table)).size());
    }
    static std::string insertInto(const std::string& table) {
        return "INSERT INTO " + table + (table.empty() ? "" : " ");
    }

    std::vector<testsupport::Row> rows(const std::string& sql) const {
        return testsupport::queryRows(company, sql);
    }
    std::string count(const std::string& where) const {
        return testsupport::queryValue(company, "SELECT COUNT(*) FROM " + where + ";");
    }

    static core::Money m(const char* text) { return core::Money::parse(text); }

    testsupport::StandInErp erp;
    std::string company;
    data::Tfdm fdm;
    importer::WindowBuffers w{nullptr, fdm};
    int NroIte = 0;
    StatementLog log{fdm, StatementLog::Texts::Prepared};
    std::vector<std::string>& sent = log.texts;  // every statement text since the last clear
};

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

// The importer's steps, with a look at each record's outcome as the importer left the buffers.
class ObservedSteps : public importer::InvoiceSteps {
  public:
    explicit ObservedSteps(importer::InvoiceSteps& steps) : steps_(steps) {}
    // Runs after each record with its outcome.
    std::function<void(importer::RecordOutcome)> after;
    importer::InvoiceResult importRecord(const importer::SummaryRecord& r) override {
        importer::InvoiceResult result = steps_.importRecord(r);
        if (after) after(result.outcome);
        return result;
    }

  private:
    importer::InvoiceSteps& steps_;
};

// Notes the files it is handed; with `real` set, hands them on to it as well.
class RecordingCleanup : public importer::FileCleanup {
  public:
    importer::RemoteSetup begin(const std::string& direc) override {
        return real ? real->begin(direc) : importer::RemoteSetup{};
    }
    std::unique_ptr<platform::HeldFile> hold(platform::Env& env, const std::string& path) override {
        return real ? real->hold(env, path) : importer::FileCleanup::hold(env, path);
    }
    importer::CleanupOutcome cleanUp(const std::string& direc, const std::string& name,
                                     platform::HeldFile& file) override {
        cleaned.push_back(name);
        return real ? real->cleanUp(direc, name, file) : importer::CleanupOutcome::Removed;
    }
    std::vector<importer::RemoteRemoval> ended() override {
        return real ? real->ended() : std::vector<importer::RemoteRemoval>{};
    }
    std::vector<importer::RemoteRemoval> finish() override {
        return real ? real->finish() : std::vector<importer::RemoteRemoval>{};
    }
    std::vector<std::string> cleaned;
    importer::FileCleanup* real = nullptr;
};

// Asks for no branch; counts the moments the copies would be made, inside the invoice's
// transaction after its posting.
class RecordingReplication : public importer::InvoiceReplication {
  public:
    std::function<void()> onReplicate;
    int calls = 0;
    std::vector<fb::Connection*> prepareCopies() override { return {}; }
    importer::BranchCopies copy(const fb::Transaction&) override {
        ++calls;
        if (onReplicate) onReplicate();
        return {};
    }
    importer::BranchCopies check(const fb::Transaction&) override { return {}; }
};

class InvoiceImportTest : public ::testing::Test {
  protected:
    InvoiceImportTest() {
        erp_.addCompany("001");
        erp_.addCompany("002");
        folder_ = dir_.file("in");
        std::filesystem::create_directories(folder_);
        // As the window's creation does: refused rows are shown translated and abort.
        fdm_.ConfigurarProviders(w_);
        app::FormModel& f = w_.form;
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
        w_.dispatch([&] {
            if (!w_.connectDatabases()) throw std::runtime_error("not connected");
            w_.runImport();
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
    RecordingCleanup cleanup_;
    RecordingReplication replication_;
    // The system as it is, but for the pauses between tries, which are counted and not waited.
    testsupport::FaultEnv env_;
    // Wired as app::Program wires them: the window keeps a reference to its steps, which are
    // built after it because the importer needs the window.
    app::ImportWindow w_{port_, chooser_, fdm_, steps_, cleanup_, env_};
    importer::InvoiceImporter importer_{w_.context,    w_,  port_, fdm_, w_.buffers.invoice(),
                                        &replication_, env_};
    ObservedSteps steps_{importer_};
};

}  // namespace invoicetest
