// The error translation on failures that the stand-in company database and the window's
// buffers really produce: refused keys while an invoice is saved, and rows the buffer itself
// refuses because a required field is empty.
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/errors.h"
#include "data/texts.h"
#include "tests/db/saved_invoice.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCall;
using app::PortCallKind;
using testsupport::InvoiceValues;
using testsupport::LineValues;
using testsupport::queryRows;
using testsupport::queryValue;

std::vector<PortCall> boxed(const std::string& text) {
    return {{PortCallKind::Beep, {}}, {PortCallKind::Error, text}};
}

class TranslationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        company_ = erp_.addCompany("001");
        fdm_.Quorvan.options().database = company_;
        fdm_.Quorvan.options().user = "SYSDBA";
        fdm_.Quorvan.open();
        fdm_.ConfigurarProviders(window_);
    }

    std::string count(const std::string& table) {
        return queryValue(company_, "SELECT COUNT(*) FROM " + table + ";");
    }

    testsupport::StandInErp erp_;
    std::string company_;
    app::RecordingPort port_;
    data::Tfdm fdm_{port_};
    core::Component window_{"window", nullptr};
    importer::WindowBuffers b_{&window_, fdm_};
};

TEST_F(TranslationTest, DuplicateInvoiceIdNamesTheTableFactura) {
    ASSERT_EQ(testsupport::saveInvoice(fdm_, b_, InvoiceValues{}), 0);
    const std::string id = b_.CFacturas.FieldByName("FACT_ID").asString();
    ASSERT_TRUE(port_.calls().empty());

    // A second header with the same FACT_ID.
    records::Buffer& h = b_.CFacturas;
    h.Insert();
    h.FieldByName("FACT_ID").setString(id);
    h.FieldByName("PTVT_ID").setInteger(12);
    h.FieldByName("VEND_COD").setInteger(7);
    h.FieldByName("TERC_NIT").setString("800100200");
    h.FieldByName("FACT_FECHA").setString("2024/02/01");
    h.FieldByName("FACT_IVAINC").setString("S");
    h.FieldByName("FACT_NUMERO").setString("20240201");
    h.Post();
    EXPECT_EQ(h.ApplyUpdates(0), 1);

    EXPECT_EQ(port_.calls(), boxed("Ya existe el registro en la tabla Factura"));
    EXPECT_EQ(queryRows(company_, "SELECT FACT_NUMERO FROM FACTURAS;"),
              std::vector<testsupport::Row>{{"20240131"}});
}

TEST_F(TranslationTest, RefusedLinesAlsoNameTheHeadersTable) {
    const std::string relation = data::texts::cp1252(
        "Está borrando o insertando un registro en la tabla Factura que tiene una relación con "
        "otra tabla.");
    struct Case {
        const char* what;
        std::vector<LineValues> lines;
        std::string shown;
    } cases[] = {
        {"unknown article", {LineValues{}, LineValues{.arti = "NO-SUCH"}}, relation},
        {"line number twice",
         {LineValues{.item = 1}, LineValues{.item = 1}},
         "Ya existe el registro en la tabla Factura"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port_.clear();
        InvoiceValues wanted;
        wanted.lines = c.lines;
        b_.CFacturas.Close();
        EXPECT_EQ(testsupport::saveInvoice(fdm_, b_, wanted), 1);
        EXPECT_EQ(port_.calls(), boxed(c.shown));
        EXPECT_EQ(count("FACTURAS"), "0");
        EXPECT_EQ(count("FACTURAS_DETALLE"), "0");
    }
}

TEST_F(TranslationTest, EmptyRequiredFieldsAreListedAndThePostAbortsSilently) {
    records::Buffer& h = b_.CFacturas;
    h.Open();
    h.Insert();
    h.FieldByName("FACT_ID").setInteger(1);
    h.FieldByName("PTVT_ID").setInteger(12);
    h.FieldByName("VEND_COD").setInteger(7);
    h.FieldByName("TERC_NIT").setString("800100200");
    h.FieldByName("FACT_FECHA").setString("2024/01/31");
    h.FieldByName("FACT_IVAINC").setString("S");
    h.FieldByName("FACT_NUMERO").setString("20240131");
    h.Post();
    records::Buffer& d = b_.CFactdetalle;
    d.Insert();
    d.FieldByName("ARTI_COD").setString("01-01");  // FADE_ITEM and BODE_COD stay empty
    EXPECT_THROW(d.Post(), core::SilentAbort);
    EXPECT_EQ(port_.calls(), boxed("Los campos FADE_ITEM, BODE_COD,  son obligatorios."));
}

TEST_F(TranslationTest, KeyRuleListsTheIndexFieldsInFieldOrder) {
    records::Buffer& h = b_.CFacturas;
    h.Open();
    h.Insert();
    h.IndexFieldNames = {"fact_numero", "PREF_PRE", "FACT_ID"};
    struct Case {
        const char* text;
        std::string shown;
    } cases[] = {
        {"key violation", "Ya existe un registro con el mismo FACT_ID PREF_PRE FACT_NUMERO "},
        {"Key violation", "Key violation"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        port_.clear();
        records::DataAction action = records::DataAction::daFail;
        fdm_.ManejarClientError(h, std::runtime_error(c.text), action);
        EXPECT_EQ(action, records::DataAction::daAbort);
        EXPECT_EQ(port_.calls(), boxed(c.shown));
    }
}

TEST_F(TranslationTest, TheModulesOwnBuffersKeepTheirFailures) {
    records::Buffer& pending = fdm_.CReplarticulo;
    pending.Open();
    pending.Insert();
    pending.FieldByName("RPAE_TIPO").setString("F");
    try {
        pending.Post();
        FAIL() << "the empty RPAE_ID was accepted";
    } catch (const core::SilentAbort&) {
        FAIL() << "the module's buffer was translated";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Field 'RPAE_ID' must have a value");
    }
    EXPECT_TRUE(port_.calls().empty());
}

}  // namespace
