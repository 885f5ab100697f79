// Another user of the company database holds a row that storing an invoice needs: the import
// waits for it at most the lock timeout, rolls the invoice back whole and tries again; a row
// held past every try stops the run with a clear message and keeps the file, a row released
// meanwhile lets the invoice be stored once.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "data/texts.h"
#include "tests/db/invoice_fixture.h"

namespace invoicetest {
namespace {

using app::PortCallKind;

const char kLock[] = "SELECT PREF_PRE FROM PREFIJOS WHERE TIDO_COD = 31 AND PREF_PRE = 'AB01'";

class InvoiceLockTest : public InvoiceImportTest {
  protected:
    // A second attachment that changes AB01's prefix row and keeps its transaction open, as
    // an ERP user editing the prefix would.
    void holdThePrefix() {
        connectOther();
        other_.run(*held_,
                   "UPDATE PREFIJOS SET PREF_ACTUAL = COALESCE(PREF_ACTUAL, 0) + 1 "
                   "WHERE TIDO_COD = 31 AND PREF_PRE = 'AB01'",
                   {});
    }
    // A second attachment to the company database, with a transaction open.
    void connectOther() {
        other_.options().database = company();
        other_.options().user = "SYSDBA";
        other_.open();
        held_.emplace(other_.begin());
    }
    std::vector<Row> stored() const {
        return rows(
            "SELECT F.PREF_PRE, F.FACT_TOTAL, (SELECT COUNT(*) FROM FACTURAS_DETALLE D WHERE "
            "D.FACT_ID = F.FACT_ID), (SELECT COUNT(*) FROM CONTABILIDAD_ASIENTOS A WHERE "
            "A.FACT_ID = F.FACT_ID AND A.ASIE_CONTABILIZADO = 'S') FROM FACTURAS F");
    }

    fb::Connection other_{"Otro"};
    std::optional<fb::Transaction> held_;
};

TEST_F(InvoiceLockTest, ARowHeldPastEveryTryStopsTheRunAndLeavesNothing) {
    fdm_.Quorvan.options().lockTimeout = 1;
    holdThePrefix();
    write("[RDE_12_20240131.txt", {cars("100")});
    StatementLog log{fdm_};
    run();

    const std::vector<std::string> failures = boxes(PortCallKind::Failure);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind(data::texts::kFacturaBloqueadaInicio + "AB0120240131" +
                                    data::texts::kFacturaBloqueadaFin + "\nSQL Server Error: ",
                                0),
              0u)
        << failures[0];
    EXPECT_NE(failures[0].find("\nSQL Server Error: deadlock\n"), std::string::npos) << failures[0];
    // Four tries, each waiting for the lock one second, with pauses of 0.25, 0.5 and 1 s
    // between them.
    EXPECT_EQ(log.startingWith(kLock).size(), 4u);
    EXPECT_EQ(env_.paused, 250 + 500 + 1000);
    EXPECT_EQ(invoiceCount(), 0);
    EXPECT_EQ(lineCount(), 0);
    EXPECT_EQ(value("SELECT COUNT(*) FROM CONTABILIDAD_ASIENTOS"), "0");
    EXPECT_TRUE(exists("[RDE_12_20240131.txt"));
    EXPECT_TRUE(cleanup_.cleaned.empty());
    EXPECT_EQ(port_.count(PortCallKind::Close), 0);

    // Once the row is free, the next run stores the invoice whole.
    held_->rollback();
    run();
    EXPECT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    EXPECT_EQ(stored(), (std::vector<Row>{{"AB01", "119.00", "1", "1"}}));
    EXPECT_EQ(cleanup_.cleaned, std::vector<std::string>{"[RDE_12_20240131.txt"});
}

// The other user commits while the import waits for a row that the posting updates (a
// balance every posting adds to): the wait ends in an update conflict, the invoice is rolled
// back and tried again, and stored once; its first try left nothing in the balance.
TEST_F(InvoiceLockTest, AnUpdateConflictIsTriedAgainAndTheInvoiceStoredOnce) {
    fdm_.Quorvan.options().lockTimeout = 20;
    exec("CREATE TABLE SALDOS (ID INTEGER NOT NULL PRIMARY KEY, VALOR INTEGER)");
    exec("INSERT INTO SALDOS VALUES (1, 0)");
    exec(
        "SET TERM ^ ;\nALTER PROCEDURE CONTABILIZA_PENDIENTE (IDCNT INTEGER) AS BEGIN "
        "UPDATE SALDOS SET VALOR = VALOR + 1 WHERE ID = 1; "
        "UPDATE CONTABILIDAD_ASIENTOS SET ASIE_CONTABILIZADO = 'S' WHERE ASIE_ID = :IDCNT; "
        "END^\nSET TERM ; ^");
    connectOther();
    other_.run(*held_, "UPDATE SALDOS SET VALOR = VALOR + 10 WHERE ID = 1", {});
    write("[RDE_12_20240131.txt", {cars("100")});
    write("[RDE_12_20240201.txt", {cars("200")});
    StatementLog log{fdm_};
    std::thread commitLater([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        held_->commit();
    });
    run();
    commitLater.join();

    EXPECT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    EXPECT_EQ(log.startingWith(kLock).size(), 3u);       // the first invoice twice, then the second
    EXPECT_EQ(log.count("INSERT INTO FACTURAS ("), 3u);  // the first one resent
    EXPECT_EQ(stored(),
              (std::vector<Row>{{"AB01", "119.00", "1", "1"}, {"AB01", "238.00", "1", "1"}}));
    EXPECT_EQ(cleanup_.cleaned,
              (std::vector<std::string>{"[RDE_12_20240131.txt", "[RDE_12_20240201.txt"}));
    EXPECT_EQ(value("SELECT VALOR FROM SALDOS"), "12");
}

}  // namespace
}  // namespace invoicetest
