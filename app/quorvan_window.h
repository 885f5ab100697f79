#pragma once
// The import window bound to the data module: its creation loads the settings, its
// activation and the Cia/EPref exits connect the databases, and F2 runs the import.
#include <memory>

#include "app/import_window.h"
#include "data/fdm.h"
#include "import/import_run.h"
#include "import/window_buffers.h"

namespace app {

class ImportWindow : public Tfimportarfac {
  public:
    ImportWindow(UiPort& port, FolderChooser& chooser, data::Tfdm& fdm,
                 importer::InvoiceSteps& steps, importer::FileCleanup& cleanup);

    data::Tfdm& fdm;
    importer::WindowBuffers buffers;

    void FormCreate() override;
    void FormActivate() override;
    void CiaExit() override;
    void SpeedButton3Click() override;

    // Connects the general and company databases from the boxes: the sequence CiaExit runs,
    // without its unattended start. False when a box it needs is empty.
    bool connectDatabases();
    // Numbers every new line of the invoice being built: NroIte + 1 into FADE_ITEM, and
    // FADE_ANULADO and FADE_TRANSMIT "N".
    void CFactdetalleAfterInsert(records::Buffer& DataSet);
    // The import run; nothing happens while one is already running.
    void runImport();

    bool running() const { return running_; }
    // What the last run did (also when a failure stopped it).
    const importer::RunSummary& lastRun() const { return lastRun_; }

  private:
    importer::InvoiceSteps& steps_;
    importer::FileCleanup& cleanup_;
    bool running_ = false;
    importer::RunSummary lastRun_;
};

}  // namespace app
