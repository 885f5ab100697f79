#pragma once
// The program's parts, created in the order the program needs them: the data module first,
// then the invoice steps, the replication and the clean-up, and last the import window
// whose buffers bind to the data module's datasets.
#include "app/quorvan_window.h"
#include "data/fdm.h"
#include "import/cleanup.h"
#include "import/invoice_importer.h"
#include "import/replication.h"

namespace app {

struct Program {
    Program(data::UiPort& port, FolderChooser& chooser,
            importer::CleanupOptions cleanupOptions = {})
        : fdm(port),
          window(port, chooser, fdm, steps, cleanup),
          replication(fdm, window.buffers),
          steps(window.context, window, port, fdm, window.buffers, &replication),
          cleanup(cleanupOptions) {}

    data::Tfdm fdm;
    ImportWindow window;
    importer::Replicator replication;
    importer::InvoiceImporter steps;
    importer::RemoteCleanup cleanup;
};

}  // namespace app
