#include "import/invoice_header.h"

#include "core/date.h"
#include "core/money.h"
#include "core/text.h"
#include "import/lock_retry.h"
#include "records/command.h"

namespace importer {
namespace {

using records::openCommand;
using records::values;

fb::Value text(const std::string& t) {
    return fb::Value::ofText(t);
}

}  // namespace

// Characters 1-4, 6-7 and the last two.
std::string invoiceNumber(const std::string& dateText) {
    return dateText.substr(0, 4) + dateText.substr(5, 2) + dateText.substr(dateText.size() - 2);
}

std::optional<std::string> storedInvoiceId(const RunContext& context, const InvoiceBuffers& buffers,
                                           const fb::Transaction* tra) {
    records::Buffer& q = buffers.CBorrar;
    openCommand(
        q, "SELECT FACT_ID FROM FACTURAS WHERE PREF_PRE = :PREF_PRE AND FACT_FECHA = :FECHA",
        values({{"PREF_PRE", text(context.prefix)}, {"FECHA", text(core::dateText(context.date))}}),
        tra);
    if (q.IsEmpty() || q.Fields(0).asString().empty()) return std::nullopt;
    return q.Fields(0).asString();
}

namespace {

const char kLockPrefix[] =
    "SELECT PREF_PRE FROM PREFIJOS WHERE TIDO_COD = 31 AND PREF_PRE = :PREF_PRE WITH LOCK";
const char kLockPointOfSale[] =
    "SELECT PTVT_ID FROM PUNTO_VENTA WHERE PTVT_ID = :PTVT_ID WITH LOCK";

}  // namespace

void lockInvoicePrefix(const InvoiceBuffers& buffers, const fb::Transaction& tra) {
    records::Buffer& h = buffers.CFacturas;
    records::Buffer& q = buffers.CBorrar;
    openCommand(q, kLockPrefix, values({{"PREF_PRE", text(h.FieldByName("PREF_PRE").asString())}}),
                &tra);
    if (!q.IsEmpty()) return;
    openCommand(q, kLockPointOfSale,
                values({{"PTVT_ID", fb::Value::ofInt(h.FieldByName("PTVT_ID").asInteger())}}),
                &tra);
}

void drawInvoiceId(data::Tfdm& fdm, const InvoiceBuffers& buffers, platform::Env& env) {
    retryLockConflicts(env, [&] { fdm.SCambieidfact.ExecProc(); });
    buffers.CFacturas.SetPendingInteger(
        "FACT_ID", core::parseInt64(fdm.SCambieidfact.params().ParamByName("ID").asString()));
}

void prepareInvoicePrefixLock(const InvoiceBuffers& buffers, const fb::Transaction& tra) {
    records::prepareCommand(buffers.CBorrar, kLockPrefix, tra);
    records::prepareCommand(buffers.CBorrar, kLockPointOfSale, tra);
}

LineDefaults buildInvoiceHeader(const RunContext& context, RunObserver& observer, data::Tfdm& fdm,
                                const InvoiceBuffers& buffers, const SummaryRecord& record,
                                bool drawId, platform::Env& env) {
    records::Buffer& h = buffers.CFacturas;
    records::Buffer& q = buffers.CBorrar;
    records::Buffer& ptovta = buffers.CPtovta;
    auto f = [&h](const char* name) { return h.FieldByName(name); };
    const std::string& prefix = context.prefix;
    LineDefaults d;

    h.Insert();
    f("FACT_ID").setInteger(0);
    f("PREF_PRE").setString(prefix);
    f("FACT_FACTOR").setInteger(1);
    f("FACT_TRM").setInteger(1);
    f("FACT_ANULADO").setString("N");
    f("FACT_TRANSMIT").setString("S");

    // The prefix's and the customer's rows are the same for every invoice of a point of sale:
    // asked once per run.
    const std::vector<std::string> prefixRow =
        fdm.rememberedRow(q,
                          "select pref_ivainc, pref_actual from prefijos where tido_cod = 31 and "
                          "pref_pre = :PREF_PRE",
                          values({{"PREF_PRE", text(prefix)}}), 1);
    f("FACT_IVAINC").setString(prefixRow[0]);
    if (f("FACT_IVAINC").asString().empty()) f("FACT_IVAINC").setString("N");

    f("FACT_FECHA").setDate(context.date);
    f("FACT_VENCE").setDate(context.date);
    f("FACT_NUMERO").setString(invoiceNumber(f("FACT_FECHA").asString()));

    f("PTVT_ID").setString(ptovta.FieldByName("PTVT_ID").asString());
    if (f("PTVT_ID").asString().empty()) f("PTVT_ID").setString("1");
    f("TERC_NIT").setString(ptovta.FieldByName("TERC_NIT").asString());
    d.DBod = ptovta.FieldByName("BODE_COD").asString();

    // Without a customer row every column reads as empty text.
    const std::vector<std::string> customer =
        fdm.rememberedRow(q,
                          "select terc_nom, lipr_cod, vend_cod, clie_rtcree from terceros t, "
                          "clientes c where t.terc_nit = c.terc_nit and c.terc_nit = :TERC_NIT",
                          values({{"TERC_NIT", text(f("TERC_NIT").asString())}}), 4);
    f("FACT_NOMCLIENTE").setString(customer[0]);
    d.DLis = customer[1];
    f("VEND_COD").setString(customer[2]);
    if (f("VEND_COD").asString().empty()) f("VEND_COD").setString("1");

    f("FACT_SUCURSAL").setString("01");
    f("FACT_RTFTEMONTO").setInteger(0);
    f("FACT_RTIVAMONTO").setInteger(0);
    f("FACT_RTICAMONTO").setInteger(0);
    f("FACT_IVAMONTO").setString(record.tax());
    f("FACT_TOTAL").setString(record.total());

    // CREE withholding from the values the fields now hold (the total and tax as stored).
    f("FACT_RTCREE").setString(customer[3]);
    if (!f("FACT_RTCREE").asString().empty()) {
        core::Money base = f("FACT_TOTAL").asMoney() - f("FACT_IVAMONTO").asMoney();
        f("FACT_RTCREEM")
            .setMoney(
                core::Money::mulDiv(base, f("FACT_RTCREE").asMoney(), core::Money::fromInt(100)));
    } else {
        f("FACT_RTCREEM").setInteger(0);
    }

    observer.invoiceText(f("PREF_PRE").asString() + f("FACT_NUMERO").asString() + " - " +
                         f("FACT_NOMCLIENTE").asString());

    // The id is used up even when the invoice never reaches the database. The procedure
    // commits on its own; a lock conflict there draws again.
    if (drawId) {
        retryLockConflicts(env, [&] { fdm.SCambieidfact.ExecProc(); });
        f("FACT_ID").setString(fdm.SCambieidfact.params().ParamByName("ID").asString());
    }
    h.Post();
    return d;
}

}  // namespace importer
