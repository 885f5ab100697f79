#pragma once
// The import run: one pass over the flat files of the window's folder. For each file it
// takes the point of sale and date from the name, switches the company connection when the
// company changes, reads the file through the flat-file reader, hands each summary record to
// the invoice steps and, when the file's last summary record is stored or already stored,
// hands the file to the clean-up. At the end the window closes.
#include <cstdint>
#include <string>

#include "app/import_window.h"
#include "data/fdm.h"
#include "import/flat_reader.h"
#include "import/run_steps.h"
#include "import/window_buffers.h"
#include "platform/exclusive_file.h"

namespace importer {

// What one run did, for the headless summary.
struct RunSummary {
    int filesFound = 0;
    int filesRead = 0;
    int filesRemoved = 0;
    int filesKept = 0;
    int filesNotOpenable = 0;
    int invoicesSaved = 0;
    int duplicates = 0;
    int refused = 0;
    bool reachedEnd = false;  // the run got to its normal end (the window closed)
    bool anotherRun = false;  // another run held the folder: this one did nothing
};

class ImportRun {
  public:
    ImportRun(app::Tfimportarfac& window, data::Tfdm& fdm, WindowBuffers& buffers,
              InvoiceSteps& steps, FileCleanup& cleanup);

    // The whole run. A failure that stops it propagates to the caller with the open file
    // and the buffers released; the window then stays open.
    void run();
    const RunSummary& summary() const { return summary_; }

  private:
    void importFile(const std::string& direc, const std::string& name);
    bool readFile(platform::ExclusiveFile& file, const std::string& direc, const std::string& path);
    void log(const std::string& direc, const std::string& text);

    app::Tfimportarfac& w_;
    data::Tfdm& fdm_;
    WindowBuffers& b_;
    InvoiceSteps& steps_;
    FileCleanup& cleanup_;
    FlatReader reader_;  // one per run: a delimited stretch carries over between files
    RunSummary summary_;
};

// The folder's flat files ("[RDE*.txt", letter case ignored, files only).
struct FlatFiles {
    std::vector<std::string> names;  // sorted
    // Entries whose names have no Windows-1252 form, so that no path text of the program
    // names them: as a message shows them, each such character a '?'.
    std::vector<std::string> unnamed;
};
FlatFiles findFlatFiles(const std::string& direc);

// The folder text with a trailing path separator added when it lacks one.
std::string withSeparator(const std::string& folder);

}  // namespace importer
