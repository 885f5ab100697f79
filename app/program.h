#pragma once
// The program's parts, created in the order the program needs them: the data module first,
// then the import window whose buffers bind to the data module's datasets, the branch
// connections with the replication and the limbo recovery over them, the invoice steps and
// the clean-up. A dry run is the same program with the check's kinds of invoice steps,
// clean-up and limbo recovery, chosen here once.
#include "app/import_window.h"
#include "data/fdm.h"
#include "import/branch_connections.h"
#include "import/check_cleanup.h"
#include "import/cleanup.h"
#include "import/invoice_checker.h"
#include "import/invoice_importer.h"
#include "import/limbo_recovery.h"
#include "import/replication.h"

namespace app {

enum class RunKind {
    Import,  // what the program is for
    Check,   // what an import would do, with nothing written
};

struct Program {
    // The window is handed the steps and the clean-up of `kind` before they are made (it uses
    // them only in a run). Every part reaches the operating system through `env`.
    Program(data::UiPort& port, FolderChooser& chooser,
            importer::CleanupOptions cleanupOptions = {}, RunKind kind = RunKind::Import,
            platform::Env& env = platform::Env::system())
        : fdm(port),
          window(
              port, chooser, fdm,
              kind == RunKind::Check ? static_cast<importer::InvoiceSteps&>(checker) : importer,
              kind == RunKind::Check ? static_cast<importer::FileCleanup&>(checkCleanup) : cleanup,
              env),
          branches(fdm),
          replication(fdm, window.buffers.replica(), branches),
          recovery(fdm, window.buffers.CReplicaf, branches,
                   kind == RunKind::Check ? importer::LimboRecovery::Mode::ReportOnly
                                          : importer::LimboRecovery::Mode::Resolve,
                   env),
          importer(window.context, window, port, fdm, window.buffers.invoice(), &replication, env),
          checker(window.context, window, port, fdm, window.buffers.invoice(), &replication, env),
          cleanup(env, cleanupOptions),
          checkCleanup(env) {
        window.runOptions.databases = &recovery;
    }

    data::Tfdm fdm;
    ImportWindow window;
    importer::BranchConnections branches;
    importer::Replicator replication;
    importer::LimboRecovery recovery;
    importer::InvoiceImporter importer;
    importer::InvoiceChecker checker;
    importer::RemoteCleanup cleanup;
    importer::CheckCleanup checkCleanup;
};

}  // namespace app
