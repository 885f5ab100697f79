#pragma once
// A saved invoice in the window's header buffer, built directly through CFacturas and
// CFactdetalle (Insert, Post, ApplyUpdates) the way the import leaves it: the header is the
// current row and its lines are those of the detail buffer.
#include <string>
#include <vector>

#include "data/fdm.h"
#include "import/window_buffers.h"

namespace testsupport {

struct LineValues {
    std::string arti = "01-01";
    std::string bode = "01";
    std::string cant = "1";
    std::string prunit = "1500";
    std::string dto3{};  // empty: left without a value
    int item = 0;        // 0: the next number
};

struct InvoiceValues {
    std::string pref = "AB01";
    int ptvt = 12;
    std::string numero = "20240131";
    std::string fecha = "2024/01/31";
    std::string obs{};
    std::string idfmar{};  // a header column the replica buffer does not declare
    std::vector<LineValues> lines = {LineValues{}};
};

// Adds the invoice, pending, with a fresh id from the company's CAMBIE_ID_FACTURA. FACT_TRM is
// 1, FACT_TOTAL 1785; FACT_COMIPORC, FACT_DESPACHO and FACT_VENCE are left empty. Lines are
// numbered 1, 2, 3 ... unless they say otherwise.
void addInvoice(data::Tfdm& fdm, importer::WindowBuffers& b, const InvoiceValues& wanted);
// Adds it and saves it; returns the result of ApplyUpdates(0).
int saveInvoice(data::Tfdm& fdm, importer::WindowBuffers& b, const InvoiceValues& wanted);

}  // namespace testsupport
