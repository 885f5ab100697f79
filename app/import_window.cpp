#include "app/import_window.h"

#include <optional>

#include "app/settings_load.h"
#include "core/text.h"
#include "data/database_paths.h"
#include "data/texts.h"
#include "import/error_log.h"
#include "platform/system.h"

namespace app {
namespace {

const char* const kRunLockName = "importarfac.lock";

char separatorOf(const ComboBox& separ) {
    switch (separ.itemIndex) {
        case 0:
            return ',';
        case 2:
            return '\t';
        default:
            return ';';
    }
}

std::optional<char> delimiterOf(const ComboBox& delim) {
    switch (delim.itemIndex) {
        case 1:
            return '"';
        case 2:
            return '\'';
        default:
            return std::nullopt;
    }
}

}  // namespace

ImportWindow::ImportWindow(data::UiPort& port, FolderChooser& chooser, data::Tfdm& fdm_,
                           importer::InvoiceSteps& steps, importer::FileCleanup& cleanup,
                           platform::Env& env)
    : Tfimportarfac(port, chooser),
      fdm(fdm_),
      buffers(this, fdm_),
      steps_(steps),
      cleanup_(cleanup),
      env_(env),
      runLock_(env.runLock()) {
    buffers.CFactdetalle.AfterInsert = [this](records::Buffer& b) { CFactdetalleAfterInsert(b); };
}

void ImportWindow::CFactdetalleAfterInsert(records::Buffer& DataSet) {
    ++context.NroIte;
    DataSet.FieldByName("FADE_ITEM").setInteger(context.NroIte);
    DataSet.FieldByName("FADE_ANULADO").setString("N");
    DataSet.FieldByName("FADE_TRANSMIT").setString("N");
}

void ImportWindow::FormCreate() {
    fdm.ConfigurarProviders(*this);
    loadSettings(*this, env_);
}

void ImportWindow::FormActivate() {
    if (!form.Servidor.text.empty() && !form.Tusua.text.empty() && !form.TClave.text.empty() &&
        !form.Cia.text.empty())
        CiaExit();
}

bool ImportWindow::connectDatabases() {
    if (form.Cia.text.empty() || form.Tusua.text.empty() || form.TClave.text.empty()) return false;
    form.Panel5.caption = data::texts::kConectando + form.Cia.text + data::texts::kPuntos;
    form.Panel5.visible = true;
    port().repaint();

    try {
        fdm.connect(fdm.General, data::generalDatabase(form.Servidor.text), form.Tusua.text,
                    form.TClave.text);
        fdm.QCentros.Close();
        fdm.QCentros.Open();

        fdm.connect(fdm.Quorvan, data::companyDatabase(form.Servidor.text, form.Cia.text),
                    form.Tusua.text, form.TClave.text);
    } catch (...) {
        // Nothing of an earlier connection may stay for a run: the centres of another
        // server, or another company's database, would import into the wrong place. (The
        // general connection stays when it was the company's that failed.)
        fdm.QCentros.Close();
        fdm.Quorvan.close();
        context.CiaAct.clear();
        throw;
    }
    // The company connection now holds the box's company: a later run must switch for
    // every file, since what CiaAct named may be another company's database.
    context.CiaAct.clear();

    form.EFecIni.enabled = true;
    form.EFecIni.date = env_.today();
    form.Panel5.visible = false;
    form.focused = "EFecIni";
    form.SpeedButton3.enabled = true;
    return true;
}

void ImportWindow::CiaExit() {
    // A focus change during a run must not reconnect under it.
    if (running_) return;
    if (!connectDatabases()) return;
    if (Espera != "1") return;
    while (fdm.Quorvan.state() == fb::ConnectionState::Connecting) {
    }
    if (fdm.Quorvan.state() != fb::ConnectionState::Open) return;
    context.CiaAct = form.Cia.text;
    SpeedButton3Click();
}

void ImportWindow::SpeedButton3Click() {
    runImport();
}

std::string ImportWindow::runLockPath() const {
    return importer::withSeparator(form.Ubicacion.text) + kRunLockName;
}

ImportWindow::RunLock ImportWindow::lockRun() {
    if (form.Ubicacion.text.empty()) return RunLock::Held;  // the run only asks for a folder
    if (!cleanup_.changesFolder()) return RunLock::Held;    // a check changes nothing
    const std::string path = runLockPath();
    if (runLock_->locked() && runLock_->path() == path) return RunLock::Held;
    switch (runLock_->lock(path)) {
        case platform::LockFile::Result::Locked:
        case platform::LockFile::Result::Unavailable:
            return RunLock::Held;
        case platform::LockFile::Result::NotAFile:
            return RunLock::NotAFile;
        case platform::LockFile::Result::Busy:
            break;
    }
    const std::optional<platform::LockFile::Holder> holder = env_.lockHolder(path);
    if (holder && env_.now() - holder->since > staleLockAfter) return RunLock::Stale;
    return RunLock::Busy;
}

std::string ImportWindow::lockRunText(RunLock lock) const {
    namespace texts = data::texts;
    if (lock == RunLock::NotAFile) return texts::kBloqueoNoArchivo + runLockPath();
    std::string text =
        (lock == RunLock::Stale ? texts::kOtraImportacionAntigua : texts::kOtraImportacion) +
        form.Ubicacion.text;
    if (const std::optional<platform::LockFile::Holder> h = env_.lockHolder(runLockPath())) {
        const std::string when = core::dateText(platform::localDate(h->since)) + " " +
                                 core::timeText(platform::localTime(h->since));
        text += texts::kProceso + std::to_string(h->pid) + texts::kEnEquipo +
                core::escapeControls(h->host) + texts::kDesde + when + ")";
    }
    if (lock == RunLock::Busy) return text + texts::kOtraImportacionFin;
    return text + texts::kLlevaMasDe + std::to_string(staleLockAfter.count()) +
           texts::kHorasColgada;
}

void ImportWindow::runImport() {
    if (running_) return;  // F2 inside a running import starts nothing
    if (const RunLock lock = lockRun(); lock != RunLock::Held) {
        lastRun_ = {};
        lastRun_.anotherRun = lock == RunLock::Busy;
        port().information(lockRunText(lock));
        return;
    }
    running_ = true;
    struct Done {
        bool& flag;
        platform::RunLock& lock;
        ~Done() {
            flag = false;
            lock.unlock();
        }
    } done{running_, *runLock_};
    importer::ImportRun run(runInputs(), context, *this, port(), fdm, buffers.invoice(), steps_, cleanup_,
                            env_, runOptions);
    try {
        run.run();
    } catch (...) {
        lastRun_ = run.summary();
        throw;
    }
    lastRun_ = run.summary();
}

importer::RunInputs ImportWindow::runInputs() const {
    importer::RunInputs in;
    in.folder = form.Ubicacion.text;
    in.separator = separatorOf(form.Separ);
    in.delimiter = delimiterOf(form.Delim);
    in.server = form.Servidor.text;
    in.user = form.Tusua.text;
    in.password = form.TClave.text;
    in.prefix = form.EPref.text;
    in.date = form.EFecIni.date;
    return in;
}

void ImportWindow::panelText(const std::string& text) {
    form.Panel5.caption = text;
    form.Panel5.visible = true;
}

void ImportWindow::panelHidden() {
    form.Panel5.visible = false;
}

void ImportWindow::invoiceBoxShown() {
    form.Edit1.visible = true;
}

void ImportWindow::invoiceText(const std::string& text) {
    form.Edit1.text = text;
}

void ImportWindow::fileShown(const core::Date& date, const std::string& prefix) {
    form.EFecIni.date = date;
    form.EPref.text = prefix;
}

void ImportWindow::progressStep() {
    form.ProgressBar1.StepIt();
}

void ImportWindow::logLine(const std::string& folder, const std::string& text) {
    if (!importer::appendErrorLog(env_, folder, env_.today(), env_.timeOfDay(), text))
        unwrittenLog_ = folder + importer::kErrorLogName;
}

}  // namespace app
