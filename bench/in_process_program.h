#pragma once
// The program's parts for an import run inside a benchmark: no folder chooser, no
// replication, and a clean-up that only counts the files it is handed.
#include <string>

#include "app/import_window.h"
#include "app/no_chooser.h"
#include "data/fdm.h"
#include "import/invoice_importer.h"

namespace bench {

class CountingCleanup : public importer::FileCleanup {
  public:
    importer::CleanupOutcome cleanUp(const std::string&, const std::string&,
                                     platform::HeldFile&) override {
        ++files;
        return importer::CleanupOutcome::Removed;
    }
    int files = 0;
};

// The parts in the order the program creates them; the window keeps a reference to the
// invoice steps, which are built right after it from the window's buffers.
struct Program {
    explicit Program(data::UiPort& port)
        : fdm(port),
          window(port, chooser, fdm, steps, cleanup),
          steps(window.context, window, port, fdm, window.buffers.invoice(), nullptr) {
        fdm.ConfigurarProviders(window);
    }
    app::NoChooser chooser;
    CountingCleanup cleanup;
    data::Tfdm fdm;
    app::ImportWindow window;
    importer::InvoiceImporter steps;
};

}  // namespace bench
