#pragma once
// The program's parts, created in the order the program needs them: the data module first,
// then the import window whose buffers bind to the data module's datasets, the branch
// connections with the replication and the limbo recovery over them, the invoice steps and
// the clean-up.
#include "app/quorvan_window.h"
#include "data/fdm.h"
#include "import/branch_connections.h"
#include "import/cleanup.h"
#include "import/invoice_importer.h"
#include "import/limbo_recovery.h"
#include "import/replication.h"

namespace app {

struct Program {
    Program(data::UiPort& port, FolderChooser& chooser,
            importer::CleanupOptions cleanupOptions = {})
        : fdm(port),
          window(port, chooser, fdm, steps, cleanup),
          branches(fdm),
          replication(fdm, window.buffers, branches),
          recovery(fdm, window.buffers, branches),
          steps(window.context, window, port, fdm, window.buffers, &replication),
          cleanup(cleanupOptions) {
        window.runOptions.databases = &recovery;
    }

    data::Tfdm fdm;
    ImportWindow window;
    importer::BranchConnections branches;
    importer::Replicator replication;
    importer::LimboRecovery recovery;
    importer::InvoiceImporter steps;
    importer::RemoteCleanup cleanup;
};

}  // namespace app
