#pragma once
// The import window bound to the data module: its creation loads the settings, its
// activation and the Cia/EPref exits connect the databases, and F2 runs the import.
#include <chrono>
#include <memory>

#include "app/tfimportarfac.h"
#include "data/fdm.h"
#include "import/import_run.h"
#include "import/run_context.h"
#include "import/run_observer.h"
#include "import/window_buffers.h"
#include "platform/env.h"

namespace app {

class ImportWindow : public Tfimportarfac, public importer::RunObserver {
  public:
    // The run lock, the error log, the settings and the runs reach the system through `env`.
    ImportWindow(data::UiPort& port, FolderChooser& chooser, data::Tfdm& fdm,
                 importer::InvoiceSteps& steps, importer::FileCleanup& cleanup,
                 platform::Env& env = platform::Env::system());

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
    // the run lock of its folder (lockRun); when it cannot (another run, of this or another
    // process, holds it, or the lock's name is taken by no regular file), it only says so in
    // an information box (lockRunText) and leaves the window open.
    void runImport();

    enum class RunLock {
        Held,      // this window holds it, or the folder cannot take the file
        Busy,      // another run holds it
        Stale,     // another run holds it and took it longer than staleLockAfter ago
        NotAFile,  // a link, a folder, a FIFO or a device has the lock file's name
    };
    // Takes the run lock of the folder in Ubicacion: the file "importarfac.lock" there,
    // locked for as long as the run works and dropped by the system when its process ends.
    // Held when this window holds it now, and also when the folder cannot take the file (no
    // folder given, or one without write access: such a run cannot change the folder, and
    // the company database keeps invoices single).
    RunLock lockRun();
    // The text of the information box of a run that could not take the lock, naming the run
    // that holds it as far as the lock file tells.
    std::string lockRunText(RunLock lock) const;
    // A run that has held the lock for longer than this is taken for one that hangs.
    std::chrono::hours staleLockAfter{6};

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
    // The error log that a line could not be written to (a link, a FIFO or a device has its
    // name, or the system refused), or empty.
    const std::string& unwrittenLog() const { return unwrittenLog_; }
    // What the last run did (also when a failure stopped it).
    const importer::RunSummary& lastRun() const { return lastRun_; }

  private:
    // The run's inputs, from the boxes.
    importer::RunInputs runInputs() const;

    importer::InvoiceSteps& steps_;
    importer::FileCleanup& cleanup_;
    bool running_ = false;
    importer::RunSummary lastRun_;
    platform::Env& env_;
    std::unique_ptr<platform::RunLock> runLock_;
    std::string runLockPath() const;
    std::string unwrittenLog_;
};

}  // namespace app
