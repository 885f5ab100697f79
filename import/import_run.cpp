#include "import/import_run.h"

#include <algorithm>
#include <filesystem>

#include "app/texts.h"
#include "core/text.h"
#include "import/error_log.h"
#include "import/file_name.h"
#include "import/progress.h"
#include "platform/file_names.h"
#include "platform/system.h"

namespace importer {
namespace {

namespace texts = app::texts;

char separatorOf(const app::ComboBox& separ) {
    switch (separ.itemIndex) {
        case 0:
            return ',';
        case 2:
            return '\t';
        default:
            return ';';
    }
}

std::optional<char> delimiterOf(const app::ComboBox& delim) {
    switch (delim.itemIndex) {
        case 1:
            return '"';
        case 2:
            return '\'';
        default:
            return std::nullopt;
    }
}

// Closes the file's buffers on every way out of a file, failures included.
class FileBuffers {
  public:
    explicit FileBuffers(WindowBuffers& b) : b_(b) {}
    ~FileBuffers() {
        b_.CPtovta.Close();
        b_.CFacturas.Close();
    }
    FileBuffers(const FileBuffers&) = delete;
    FileBuffers& operator=(const FileBuffers&) = delete;

  private:
    WindowBuffers& b_;
};

}  // namespace

FlatFiles findFlatFiles(const std::string& direc) {
    FlatFiles found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(platform::nativePath(direc), ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;  // files of every attribute, no folders
        const std::filesystem::path name = it->path().filename();
        if (std::optional<std::string> text = platform::programText(name)) {
            if (matchesFlatFileMask(*text)) found.names.push_back(std::move(*text));
        } else if (std::string shown = platform::displayText(name); matchesFlatFileMask(shown)) {
            found.unnamed.push_back(std::move(shown));
        }
    }
    std::sort(found.names.begin(), found.names.end());
    std::sort(found.unnamed.begin(), found.unnamed.end());
    return found;
}

std::string withSeparator(const std::string& folder) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder;
    return folder + '/';
}

ImportRun::ImportRun(app::Tfimportarfac& window, data::Tfdm& fdm, WindowBuffers& buffers,
                     InvoiceSteps& steps, FileCleanup& cleanup)
    : w_(window), fdm_(fdm), b_(buffers), steps_(steps), cleanup_(cleanup) {}

void ImportRun::log(const std::string& direc, const std::string& text) {
    appendErrorLog(direc, platform::today(), platform::timeOfDay(), text);
}

void ImportRun::run() {
    app::FormModel& f = w_.form;
    f.Panel5.caption = texts::kImportando;
    f.Panel5.visible = true;
    w_.port().repaint();

    // An absent setting has shown its own message; converting its empty text stops the run.
    w_.Digitos = core::parseInt32(
        fdm_.configuracion("FACTURACION", "DOCUMENTOS", "REDONDEO AL MULTIPLO DE DIEZ EN TOTALES"));
    f.Edit1.visible = true;
    w_.NroIte = 0;

    if (f.Ubicacion.text.empty()) {
        w_.port().information(texts::kSinRuta);
    } else {
        const std::string direc = withSeparator(f.Ubicacion.text);
        const FlatFiles files = findFlatFiles(direc);
        summary_.filesFound = static_cast<int>(files.names.size() + files.unnamed.size());
        // No path text names these: opening the text shown would open another file, or none.
        for (const std::string& shown : files.unnamed) {
            ++summary_.filesKept;
            log(direc, texts::kNombreSinCp1252 + direc + shown);
        }
        for (const std::string& name : files.names) importFile(direc, name);
        fdm_.QCentros.Close();
    }

    f.Panel5.visible = false;
    w_.port().repaint();
    summary_.reachedEnd = true;
    w_.port().close();
}

void ImportRun::importFile(const std::string& direc, const std::string& name) {
    app::FormModel& f = w_.form;
    reader_.setFormat(separatorOf(f.Separ), delimiterOf(f.Delim));
    const std::string path = direc + name;

    platform::ExclusiveFile file;
    if (!file.open(path)) {
        ++summary_.filesNotOpenable;
        log(direc, texts::kErrorAbrir + path);
        return;
    }
    w_.Arch = 1;
    struct ArchReset {
        int32_t& arch;
        ~ArchReset() { arch = 0; }
    } archReset{w_.Arch};

    FlatFileName parsed = parseFlatFileName(name);
    f.EFecIni.date = parsed.date();  // a name without a valid date stops the run here

    // A code that is not a centre, or not a point of sale of its company, makes no invoice.
    if (!fdm_.QCentros.Locate("CENT_COD", parsed.cc)) {
        ++summary_.filesKept;
        log(direc, texts::kSinCentro + path);
        return;
    }
    w_.CodCia = fdm_.QCentros.text(1);
    if (w_.CodCia != w_.CiaAct) {
        fb::Connection& q = fdm_.Quorvan;
        q.close();
        q.setParam("Database", f.Servidor.text + "/datos/" + w_.CodCia + "/quorvan.fdb");
        q.setParam("User_Name", f.Tusua.text);
        q.setParam("password", f.TClave.text);
        q.open();  // synchronous: open, or a failure that stops the run
        w_.CiaAct = w_.CodCia;
    }

    FileBuffers buffers(b_);
    b_.CPtovta.Open();
    b_.CFacturas.Open();
    if (!b_.CPtovta.Locate("PTVT_ID", parsed.cc)) {
        ++summary_.filesKept;
        log(direc, texts::kSinPuntoVenta + path);
        return;
    }
    f.EPref.text = b_.CPtovta.FieldByName("PREF_PRE").asString();
    w_.port().repaint();  // the file's date and prefix

    bool keep = readFile(file, direc, path);
    ++summary_.filesRead;
    b_.CPtovta.Close();
    b_.CFacturas.Close();
    if (keep) {
        ++summary_.filesKept;
        return;
    }
    // The file is still held: it is deleted only as it was read.
    switch (cleanup_.cleanUp(direc, name, file)) {
        case CleanupOutcome::Removed:
            ++summary_.filesRemoved;
            break;
        case CleanupOutcome::Changed:
            ++summary_.filesKept;
            log(direc, texts::kArchivoModificado + path);
            break;
        case CleanupOutcome::UnsafeName:
            ++summary_.filesKept;
            log(direc, texts::kNombreNoRemovible + path);
            break;
    }
}

// Reads the file to its end, handing each summary record on. True when the file must stay:
// its last summary record was not stored, it had none, or it holds a record the reader
// could not take whole, one with a NUL byte or one without its line end.
bool ImportRun::readFile(platform::ExclusiveFile& file, const std::string& direc,
                         const std::string& path) {
    app::FormModel& f = w_.form;
    bool ok = false;
    bool damaged = false;
    bool nulLogged = false;
    ProgressCounter progress(file.size());
    reader_.reset();

    auto onRecord = [&] {
        if (reader_.overflowed()) {
            // A summary record is refused rather than cut; other records are not imported anyway.
            if (reader_.isSummary() || reader_.overflowField() == 0) {
                damaged = true;
                log(direc, texts::kRegistroLargo + path);
            }
            return;
        }
        if (reader_.nulField() >= 0 && (reader_.isSummary() || reader_.nulField() == 0)) {
            // A NUL cuts its field short: a cut amount must not become an invoice. One line
            // per file: a damaged file may hold thousands.
            if (!nulLogged) log(direc, texts::kRegistroNulo + path);
            nulLogged = damaged = true;
            return;
        }
        if (!reader_.isSummary()) return;
        RecordOutcome outcome = steps_.importRecord(SummaryRecord(reader_.fields()));
        w_.NroIte = 0;
        ok = outcome != RecordOutcome::Refused;
        if (outcome == RecordOutcome::Stored) ++summary_.invoicesSaved;
        if (outcome == RecordOutcome::Duplicate) ++summary_.duplicates;
        if (outcome == RecordOutcome::Refused) ++summary_.refused;
    };

    static constexpr size_t kBlock = 64 * 1024;
    std::unique_ptr<char[]> buf(new char[kBlock]);
    int64_t shown = 0;
    // The bar moves by the steps a block made, and the window shows it once per block.
    auto stepBar = [&] {
        if (shown == progress.steps()) return;
        for (; shown < progress.steps(); ++shown) f.ProgressBar1.StepIt();
        w_.port().repaint();
    };
    while (progress.more()) {
        size_t want = static_cast<size_t>(std::min<int64_t>(kBlock, progress.remaining()));
        size_t got = file.read(buf.get(), want);
        if (got == 0) break;  // the file shrank while held
        reader_.feed(buf.get(), got, progress, onRecord);
        stepBar();
    }
    reader_.endOfFile(progress);
    stepBar();

    if (reader_.pendingSummary()) {
        // The file may still be being written: what follows the last line end is kept.
        damaged = true;
        log(direc, texts::kRegistroSinFin + path);
    }
    return !ok || damaged;
}

}  // namespace importer
