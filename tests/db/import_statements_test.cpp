// What a run sends per invoice, and the article answers it remembers: the lookups of an
// invoice do not grow with its lines, a later invoice prepares nothing, and a remembered
// answer never outlives its run or its company connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/texts.h"
#include "tests/db/invoice_fixture.h"

namespace invoicetest {
namespace {

using app::PortCallKind;

// A record of `lines` lines: the six amount lines, then discount lines three to a group.
Summary withLines(int lines) {
    Summary s;
    s.cars = "1000";
    s.motos = "1100";
    s.bicis = "1200";
    s.f7 = "1300";
    s.f8 = "1400";
    s.f9 = "1500";
    for (int g = 0; g < (lines - 6) / 3; ++g)
        s.groups.push_back("GRUPO" + std::to_string(g) + "   1.2.3");  // the first value in 3
    return s;
}

std::string fileOfDay(int day) {
    return "[RDE_12_202401" + std::string(day < 10 ? "0" : "") + std::to_string(day) + ".txt";
}

class ImportStatementsTest : public InvoiceImportTest {
  protected:
    // Statements that are neither an INSERT nor a block of them, in the texts sent.
    static size_t lookups(const StatementLog& log) {
        size_t n = 0;
        for (const std::string& t : log.texts)
            if (t.rfind("INSERT INTO ", 0) != 0 && t.rfind("EXECUTE BLOCK", 0) != 0) ++n;
        return n;
    }

    // Imports one file of one invoice of `lines` lines per day in [first, first + files).
    size_t lookupsOfRun(int first, int files, int lines) {
        for (int d = first; d < first + files; ++d) write(fileOfDay(d), {withLines(lines)});
        StatementLog log{fdm_};
        run();
        EXPECT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
        EXPECT_EQ(boxes(PortCallKind::Information), std::vector<std::string>{});
        for (int d = first; d < first + files; ++d)
            std::filesystem::remove(folder_ + "/" + fileOfDay(d));
        return lookups(log);
    }

    // The VAT rate and amount of the cars' line (article 01-01) of the invoice of a day.
    std::vector<Row> vatOf(int day, const std::string& cia = "001") const {
        return rows(
            "SELECT D.FADE_IVAPORC, D.FADE_IVAMONTO FROM FACTURAS F JOIN "
            "FACTURAS_DETALLE D ON D.FACT_ID = F.FACT_ID WHERE D.FADE_REFERENCIA = "
            "'AUTOS' AND F.FACT_FECHA = '2024-01-" +
                std::string(day < 10 ? "0" : "") + std::to_string(day) + "'",
            cia);
    }
};

TEST_F(ImportStatementsTest, TheLookupsOfAnInvoiceDoNotGrowWithItsLines) {
    const size_t shortRun = lookupsOfRun(1, 3, 6);
    const size_t longRun = lookupsOfRun(11, 3, 30);
    EXPECT_EQ(lineCount(), 3 * 6 + 3 * 30);
    EXPECT_EQ(longRun, shortRun);
}

TEST_F(ImportStatementsTest, OverANetworkALaterInvoiceIsOneBlockAndPreparesNothing) {
    // As over a network.
    fdm_.Quorvan.options().insertBlocks = true;
    StatementLog log{fdm_};
    std::vector<size_t> sent;  // statements sent when each invoice was done
    std::vector<uint64_t> prepared;
    steps_.after = [&](importer::RecordOutcome o) {
        EXPECT_EQ(o, importer::RecordOutcome::Stored);
        sent.push_back(log.texts.size());
        prepared.push_back(fdm_.Quorvan.preparedCount());
    };
    for (int d = 1; d <= 4; ++d) write(fileOfDay(d), {withLines(30)});
    run();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(lineCount(), 4 * 30);
    for (size_t i = 1; i < sent.size(); ++i) {
        SCOPED_TRACE(i);
        // The file's tests, lookups and id are answered by what the run knows: the invoice is
        // its block alone.
        ASSERT_EQ(sent[i] - sent[i - 1], 1u);
        EXPECT_EQ(log.texts[sent[i] - 1].rfind("EXECUTE BLOCK (BR_CHECK", 0), 0u);
        EXPECT_EQ(prepared[i], prepared[i - 1]);
    }
}

TEST_F(ImportStatementsTest, AVatRateChangedBetweenRunsIsTakenByTheNextRun) {
    write(fileOfDay(1), {withLines(6)});
    run();
    EXPECT_EQ(vatOf(1), (std::vector<Row>{{"19.0000", "190.00"}}));
    exec("UPDATE ARTICULO SET TAIV_COD = 3 WHERE ARTI_COD = '01-01'");
    write(fileOfDay(2), {withLines(6)});
    run();
    EXPECT_EQ(vatOf(2), (std::vector<Row>{{"5.0000", "50.00"}}));
}

TEST_F(ImportStatementsTest, AnswersAreNotCarriedToAnotherCompany) {
    // Centre 21 is of company 002, whose 01-01 has the reduced rate.
    exec("UPDATE ARTICULO SET TAIV_COD = 3 WHERE ARTI_COD = '01-01'", "002");
    write(fileOfDay(1), {withLines(6)});
    write("[RDE_21_20240102.txt", {withLines(6)});
    write("[RDE_12_20240103.txt", {withLines(6)});
    run();
    EXPECT_EQ(vatOf(1), (std::vector<Row>{{"19.0000", "190.00"}}));
    EXPECT_EQ(vatOf(2, "002"), (std::vector<Row>{{"5.0000", "50.00"}}));
    EXPECT_EQ(vatOf(3), (std::vector<Row>{{"19.0000", "190.00"}}));
}

TEST_F(ImportStatementsTest, AnUnknownArticleIsToldOnEveryLineThatNamesIt) {
    w_.runOptions.keepGoing = true;  // each file's failure is told and the run goes on
    exec("DELETE FROM ARTICULO WHERE ARTI_COD = '01-04'");
    Summary s = withLines(6);  // field 9 is an 01-04 line
    for (int d = 1; d <= 3; ++d) write(fileOfDay(d), {s});
    StatementLog log{fdm_};
    run();
    const std::string told = data::texts::kCodigo + "'01-04'" + data::texts::kNoEncontrado;
    EXPECT_EQ(boxes(PortCallKind::Information), std::vector<std::string>(3, told));
    EXPECT_EQ(invoiceCount(), 0);
    // Asked once, told three times.
    EXPECT_EQ(log.startingWith("select * from valide_articulo('01-04')").size(), 1u);
}

}  // namespace
}  // namespace invoicetest
