#pragma once
// The window's invoice buffers on a stand-in company database: a data module whose company
// connection points at datos/001, the window's buffers bound to it, a line-numbering hook as
// the import window has it, and a record of every statement sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/money.h"
#include "data/fdm.h"
#include "fb/connection.h"
#include "import/window_buffers.h"
#include "tests/support/support.h"

namespace invoicetest {

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

class InvoiceBuffers : public ::testing::Test {
  protected:
    void SetUp() override {
        company = erp.addCompany("001");
        w.CFactdetalle.AfterInsert = [this](records::Buffer& d) { CFactdetalleAfterInsert(d); };
        fb::Connection::setStatementHook(
            [this](const std::string& sql, const std::vector<fb::Value>&) { sent.push_back(sql); });
    }
    void TearDown() override { fb::Connection::setStatementHook(nullptr); }

    // Attaches the company database and opens the invoice buffer as a flat file does.
    void connect() {
        fdm.Quorvan.setParam("Database", company);
        fdm.Quorvan.setParam("User_Name", "SYSDBA");
        // The rows go in blocks as they do over a network, refusals included.
        fdm.Quorvan.setParam("InsertBlocks", "True");
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
        const std::string key = "INSERT INTO " + table + (table.empty() ? "" : " ");
        int n = 0;
        for (const std::string& s : sent)
            for (size_t at = s.find(key); at != std::string::npos; at = s.find(key, at + 1)) ++n;
        return n;
    }
    // The INSERT statements of one row each (as the rows of a refused block are sent again).
    int singleInserts(const std::string& table = "") const {
        int n = 0;
        for (const std::string& s : sent)
            if (s.rfind("INSERT INTO " + table + (table.empty() ? "" : " "), 0) == 0) ++n;
        return n;
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
    std::vector<std::string> sent;
};

}  // namespace invoicetest
