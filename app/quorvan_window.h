#pragma once
// The import window bound to the data module: its creation loads the settings, its
// activation and the Cia/EPref exits connect the databases, and F2 runs the import.
#include <memory>

#include "app/import_window.h"
#include "data/fdm.h"
#include "import/import_run.h"
#include "import/run_context.h"
#include "import/run_observer.h"
#include "import/window_buffers.h"
#include "platform/lock_file.h"

namespace app {

class ImportWindow : public Tfimportarfac, public importer::RunObserver {
  public:
    ImportWindow(data::UiPort& port, FolderChooser& chooser, data::Tfdm& fdm,
                 importer::InvoiceSteps& steps, importer::FileCleanup& cleanup);

    data::Tfdm& fdm;
    importer::WindowBuffers buffers;
    // The run's working state. The window holds it between runs: its connection sets which
    // company the company connection holds (CiaAct), and its detail buffer numbers lines
    // from NroIte.
    importer::RunContext context;

    void FormCreate() override;
    void FormActivate() override;
    void CiaExit() override;
    void SpeedButton3Click() override;

    // Connects the general and company databases from the boxes: the sequence CiaExit runs,
    // without its unattended start. False when a box it needs is empty. A failure is thrown
    // after the company connection is closed and the centres dropped.
    bool connectDatabases();
    // Numbers every new line of the invoice being built: NroIte + 1 into FADE_ITEM, and
    // FADE_ANULADO and FADE_TRANSMIT "N".
    void CFactdetalleAfterInsert(records::Buffer& DataSet);
    // The import run; nothing happens while one is already running. While it works it holds
    // the run lock of its folder (lockRun); when another run, of this or another process,
    // holds that lock, it only says so in an information box and leaves the window open.
    void runImport();
    // Takes the run lock of the folder in Ubicacion: the file "importarfac.lock" there,
    // locked for as long as the run works and dropped by the system when its process ends.
    // False when another run holds it. True when this window holds it now, and also when
    // the folder cannot take the file (no folder given, or one without write access: such a
    // run cannot change the folder, and the company database keeps invoices single).
    bool lockRun();
    // The text of the information box of a run that found another one at work.
    std::string anotherRunText() const;

    // How runs go beyond the window's own behaviour: the headless options, and the databases
    // beside the company's that the program wires in (app::Program).
    importer::RunOptions runOptions;

    // What the run reports, shown in the boxes (and the error log written).
    void panelText(const std::string& text) override;
    void panelHidden() override;
    void invoiceBoxShown() override;
    void invoiceText(const std::string& text) override;
    void fileShown(const core::Date& date, const std::string& prefix) override;
    void progressStep() override;
    void logLine(const std::string& folder, const std::string& text) override;

    bool running() const { return running_; }
    // What the last run did (also when a failure stopped it).
    const importer::RunSummary& lastRun() const { return lastRun_; }

  private:
    // The run's inputs, from the boxes.
    importer::RunInputs runInputs() const;

    importer::InvoiceSteps& steps_;
    importer::FileCleanup& cleanup_;
    bool running_ = false;
    importer::RunSummary lastRun_;
    platform::LockFile runLock_;
};

}  // namespace app
