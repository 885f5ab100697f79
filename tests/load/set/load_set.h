#pragma once
// The load shared by the load test and bench_load: 50 points of sale of two companies on a
// Firebird server, 40 days of flat files for each (one invoice per file, a varying number of
// lines), the invoices those files must become, and the ERP's databases they go to.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/date.h"

namespace load {

// The server the test command starts: FB_TEST_SERVER ("localhost/<port>"), FB_TEST_USER and
// FB_TEST_PASSWORD.
struct Server {
    std::string prefix;
    std::string user;
    std::string password;
    // The connection text of a file the server opens: prefix + ":" + path.
    std::string path(const std::string& file) const { return prefix + ":" + file; }
};
std::optional<Server> serverFromEnvironment();

struct PointOfSale {
    int code;              // centre and PTVT_ID
    std::string company;   // "001" or "002"
    std::string prefix;    // its invoices' PREF_PRE
    std::string customer;  // TERC_NIT, one of the sample customers
};
// The 50 points of sale: codes 101 to 150, odd codes of company 001, even ones of 002, so
// that the files (read in name order) switch company at every point of sale.
const std::vector<PointOfSale>& pointsOfSale();
const std::vector<std::string>& companies();

// What the second writer inserts into each company: its own prefix and sales interface.
struct OtherWriter {
    std::string company;
    std::string prefix;
    int interface;
};
const std::vector<OtherWriter>& otherWriters();

struct Line {
    int item;
    std::string article;    // ARTI_COD
    std::string reference;  // FADE_REFERENCIA
    int64_t price;          // FADE_PRUNIT, whole units
    int64_t vat;            // FADE_IVAMONTO
    int64_t total;          // FADE_TOTAL
};

struct Invoice {
    const PointOfSale* pos;
    core::Date day;
    std::string fileName;  // "[RDE_<code>_<yyyymmdd>.txt"
    std::string record;    // the file's one summary record, with its CR LF
    std::vector<Line> lines;
    int64_t total() const;
    int64_t vat() const;
};

constexpr int kDays = 40;
// Every invoice of the load (50 x 40 = 2,000) in the order of their file names.
std::vector<Invoice> invoices();
// Writes each invoice's flat file into `folder`.
void writeFlatFiles(const std::string& folder, const std::vector<Invoice>& invoices);

// Creates on `server`, with isql-fb, the ERP under `root` (a folder the server can reach):
// root/datos/general.fdb with the 50 centres, and root/datos/<company>/quorvan.fdb from
// db/company.sql and db/sample_data.sql with the points of sale, their prefixes and sales
// interfaces, and those of the other writers. `forcedWrites` false turns them off (gfix), so
// that the disk's flush time does not stand for everything.
void createErp(const Server& server, const std::string& root, const std::string& scriptsDir,
               bool forcedWrites);
std::string generalPath(const std::string& root);
std::string companyPath(const std::string& root, const std::string& company);

}  // namespace load
