#pragma once

// Stand-in ERP databases for tests: temporary folders, template databases built
// once from the scripts in db/, cheap per-test copies laid out as the program
// expects them, and SQL through isql-fb, independent of the program's own
// database layer.
//
// Every database is opened embedded (a plain path, user SYSDBA, no password).
// The fixture points the environment variable FIREBIRD, unless it is already
// set, at a private copy of the engine's configuration whose ServerMode is
// SuperClassic, so that the test process and isql-fb can have the same file
// open at once (the default Super mode holds a file exclusively per process).
// This takes effect only if it happens before the process's first attach: create
// the databases through this fixture before connecting to them.

#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace testsupport {

// Template databases, built from the scripts of db/ into BINARY_DIR/db-templates
// on first use in a process, and rebuilt when a script is newer than the file.
enum class Template {
    General,        // general.sql, dialect 1, no centres
    GeneralSample,  // general.sql + sample_general.sql
    Company,        // company.sql, dialect 3, ISO8859_1, no rows
    CompanySample,  // company.sql + sample_data.sql
    Branch,         // branch.sql + sample_articles.sql (lines must name known articles)
};

// Path of the template's file, built first if missing or out of date. Safe
// against other test processes building at the same time.
std::string templatePath(Template which);

// Copies the template to `target`, creating missing folders and replacing a file
// that is there.
void copyTemplate(Template which, const std::string& target);

// The ERP's databases under one root folder, the text the program takes as the
// server: <root>/datos/general.fdb and <root>/datos/<cia>/quorvan.fdb.
class StandInErp {
  public:
    // Under a TempDir of its own, removed with the object.
    StandInErp();
    // Under `root`, which is created if missing. The general database gets the
    // sample centres (12 and 13 of company 001, 21 of 002) unless told otherwise.
    explicit StandInErp(const std::string& root, bool withSampleCentres = true);

    const std::string& root() const { return root_; }
    std::string generalPath() const;
    std::string companyPath(const std::string& cia) const;

    // Lays out the company database of `cia`, replacing one that is there, and
    // returns its path.
    std::string addCompany(const std::string& cia, bool withSampleData = true);

    // The path the replication forms for a branch: server + "\datos\" + cod +
    // "\quorvan.fdb". On Linux the backslashes are part of one file name, which
    // lives in the folder that contains `server`.
    static std::string branchPath(const std::string& server, const std::string& cod);
    // Creates that branch database and returns its path.
    std::string addBranch(const std::string& server, const std::string& cod);

  private:
    std::optional<TempDir> owned_;
    std::string root_;
};

// Runs statements (each ended by ";") through isql-fb and commits. Throws
// std::runtime_error with isql's messages when a statement fails.
void execSql(const std::string& dbPath, const std::string& sql);

// Runs `sql` with SET HEADING OFF and returns isql's output as it is.
std::string querySql(const std::string& dbPath, const std::string& sql);

// Runs one query and returns its rows, each the column values as text in the
// order of the select list: CHAR values keep their padding, NULL reads "<null>",
// numbers read as isql prints them ("1785.00", "19.0000"), blobs as their id
// (cast a text blob to VARCHAR to read it). Values must not hold line breaks.
using Row = std::vector<std::string>;
std::vector<Row> queryRows(const std::string& dbPath, const std::string& sql);

// The first column of the first row of `sql`; throws when there is no row.
std::string queryValue(const std::string& dbPath, const std::string& sql);

// `text` as an SQL literal: between single quotes, each quote inside doubled.
std::string sqlQuote(const std::string& text);

}  // namespace testsupport
