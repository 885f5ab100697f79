#include "import/import_run.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <tuple>

#include "core/errors.h"
#include "core/text.h"
#include "data/database_paths.h"
#include "data/texts.h"
#include "import/error_log.h"
#include "import/file_name.h"
#include "import/invoice_header.h"
#include "import/progress.h"
#include "platform/file_names.h"
#include "platform/system.h"

namespace importer {
namespace {

namespace texts = data::texts;

// The point-of-sale table and the invoice buffer of a file. They stay open for the next files
// of the same company (the table is read once, not once per file; the buffer keeps none of
// the invoices stored) and are closed when a failure leaves a file, so that the next file
// starts afresh, when the company changes and when the run ends.
class FileBuffers {
  public:
    explicit FileBuffers(const InvoiceBuffers& b) : b_(b) {
        if (!b_.CPtovta.Active()) b_.CPtovta.Open();
        if (!b_.CFacturas.Active()) b_.CFacturas.Open();
    }
    ~FileBuffers() {
        if (!kept_) close(b_);
    }
    FileBuffers(const FileBuffers&) = delete;
    FileBuffers& operator=(const FileBuffers&) = delete;

    // The file ended without a failure.
    void keep() {
        b_.CFacturas.DropSaved();
        kept_ = true;
    }
    static void close(const InvoiceBuffers& b) {
        b.CPtovta.Close();
        b.CFacturas.Close();
    }

  private:
    InvoiceBuffers b_;
    bool kept_ = false;
};

// For each file, the last day it or a later file of the same point of sale names; none for a
// name without a date.
std::vector<std::optional<core::Date>> lastDays(const std::vector<std::string>& names) {
    std::vector<std::optional<core::Date>> last(names.size());
    std::map<std::string, core::Date> latest;
    for (size_t i = names.size(); i-- > 0;) {
        const FlatFileName parsed = parseFlatFileName(names[i]);
        core::Date day;
        try {
            day = parsed.date();
        } catch (const core::ConversionError&) {
            continue;
        }
        auto [it, added] = latest.emplace(parsed.cc, day);
        if (!added && it->second < day) it->second = day;
        last[i] = it->second;
    }
    return last;
}

// The failure a file was passed over for, in the words the person was shown.
std::string reasonOf(std::exception_ptr failure, const data::Tfdm& fdm) {
    try {
        std::rethrow_exception(failure);
    } catch (const core::SilentAbort&) {
        return fdm.shownMessages();  // shown already: the box's text
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown failure";
    }
}

// Nothing more can be done on the databases: a lost link, or a commit left in doubt.
bool lostConnection(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const fb::Error& e) {
        return e.lostConnection() || e.kind() == fb::ErrorKind::InDoubt;
    } catch (...) {
        return false;
    }
}

bool inDoubt(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const fb::InDoubt&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

FlatFiles findFlatFiles(platform::Env& env, const std::string& direc) {
    FlatFiles found;
    for (platform::FolderEntry& e : env.listFolder(direc)) {
        if (!matchesFlatFileMask(e.name)) continue;
        if (!e.regular)
            found.notFiles.push_back(std::move(e.name));
        else if (e.named)
            found.names.push_back(std::move(e.name));
        else
            found.unnamed.push_back(std::move(e.name));
    }
    std::sort(found.names.begin(), found.names.end());
    std::sort(found.unnamed.begin(), found.unnamed.end());
    std::sort(found.notFiles.begin(), found.notFiles.end());
    return found;
}

std::string withSeparator(const std::string& folder) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder;
    return folder + '/';
}

ImportRun::ImportRun(RunInputs inputs, RunContext& context, RunObserver& observer,
                     data::UiPort& port, data::Tfdm& fdm, const InvoiceBuffers& buffers,
                     InvoiceSteps& steps, FileCleanup& cleanup, platform::Env& env,
                     const RunOptions& options)
    : in_(std::move(inputs)),
      c_(context),
      observer_(observer),
      port_(port),
      fdm_(fdm),
      b_(buffers),
      steps_(steps),
      cleanup_(cleanup),
      env_(env),
      options_(options) {}

void ImportRun::log(const std::string& direc, const std::string& text) {
    // The log lies in the folder: a run that leaves the folder as it is (a check) writes none;
    // its report says it all.
    if (cleanup_.changesFolder()) observer_.logLine(direc, text);
}

void ImportRun::report(const ReportRow& row) {
    if (row.attention) summary_.attention.push_back(row);
    if (options_.report) options_.report->row(row);
}

void ImportRun::fileRow(const std::string& name, Outcome outcome, std::string reason,
                        bool attention, bool removalStarted) {
    switch (outcome) {
        case Outcome::Removed:
            ++summary_.filesRemoved;
            break;
        case Outcome::NotOpenable:
            ++summary_.filesNotOpenable;
            break;
        case Outcome::NotReached:
            ++summary_.filesNotReached;
            break;
        default:
            ++summary_.filesKept;
            break;
    }
    ReportRow row;
    row.file = name;
    row.outcome = outcome;
    row.company = company_;
    row.prefix = prefix_;
    row.reason = std::move(reason);
    row.attention = attention;
    if (removalStarted) {
        row.remote = remote_.configured ? "started" : "not configured";
        if (remote_.configured) removing_[name] = {company_, prefix_};
    }
    report(row);
}

const char* remoteOutcomeName(RemoteOutcome outcome) {
    switch (outcome) {
        case RemoteOutcome::Removed:
            return "removed";
        case RemoteOutcome::Failed:
            return "failed";
        case RemoteOutcome::TimedOut:
            return "timed out";
        case RemoteOutcome::NotStarted:
            return "not started";
    }
    return "?";
}

void ImportRun::reportRemote(const std::vector<RemoteRemoval>& removals, const std::string& direc) {
    for (const RemoteRemoval& r : removals) {
        ReportRow row;
        row.file = r.name;
        row.outcome = Outcome::Remote;
        row.remote = remoteOutcomeName(r.outcome);
        if (auto it = r.earlier ? removing_.end() : removing_.find(r.name); it != removing_.end())
            std::tie(row.company, row.prefix) = it->second;
        auto addReason = [&](const std::string& text) {
            row.reason = row.reason.empty() ? text : row.reason + "; " + text;
        };
        if (r.earlier) addReason(texts::kBorradoRemotoAnterior + r.name);
        switch (r.outcome) {
            case RemoteOutcome::Removed:
                ++summary_.remoteRemoved;
                if (!r.detail.empty()) addReason(r.detail);
                break;
            case RemoteOutcome::Failed:
                ++summary_.remoteFailed;
                break;
            case RemoteOutcome::TimedOut:
                ++summary_.remoteTimedOut;
                break;
            case RemoteOutcome::NotStarted:
                ++summary_.remoteNotStarted;
                break;
        }
        if (r.outcome != RemoteOutcome::Removed) {
            // Its file is gone here; what remains is its copy on the server, queued for the
            // next run.
            const std::string line = texts::kBorradoRemotoFallido + r.name + ": " + r.detail;
            log(direc, line);
            addReason(line);
            row.attention = true;
        }
        report(row);
    }
}

void ImportRun::finishRemote(const std::string& direc) {
    if (!remoteBegun_) return;
    remoteBegun_ = false;
    reportRemote(cleanup_.finish(), direc);
}

void ImportRun::run() {
    // The article services answer the same few codes for every line of every invoice; what
    // they answered is remembered for this run only.
    fdm_.rememberArticleAnswers(true);
    struct Forget {
        data::Tfdm& fdm;
        ~Forget() { fdm.rememberArticleAnswers(false); }
    } forget{fdm_};
    // The branch connections last as long as the run, however it ends.
    struct EndRun {
        RunDatabases* databases;
        ~EndRun() {
            if (databases) databases->endRun();
        }
    } endRun{options_.databases};
    struct CloseBuffers {
        const InvoiceBuffers& b;
        ~CloseBuffers() { FileBuffers::close(b); }
    } closeBuffers{b_};
    observer_.panelText(texts::kImportando);
    port_.repaint();

    // An absent setting has shown its own message; converting its empty text stops the run.
    c_.Digitos = core::parseInt32(
        fdm_.configuracion("FACTURACION", "DOCUMENTOS", "REDONDEO AL MULTIPLO DE DIEZ EN TOTALES"));
    observer_.invoiceBoxShown();
    c_.NroIte = 0;
    c_.prefix = in_.prefix;
    c_.date = in_.date;
    c_.lastDate.reset();

    if (in_.folder.empty()) {
        port_.information(texts::kSinRuta);
    } else {
        const std::string direc = withSeparator(in_.folder);
        // Files a killed run had set aside for removal get their names back, and removals that
        // earlier runs left unconfirmed go first.
        remote_ = cleanup_.begin(direc);
        remoteBegun_ = true;
        summary_.remoteConfigured = remote_.configured;
        summary_.openLineFile = remote_.openLineFile;
        // The company connection holds the company of the first files already (CiaAct).
        if (!c_.CiaAct.empty()) enterCompany(direc);
        const FlatFiles files = findFlatFiles(env_, direc);
        summary_.filesFound =
            static_cast<int>(files.names.size() + files.unnamed.size() + files.notFiles.size());
        try {
            // No path text names these: opening the text shown would open another file, or none.
            for (const std::string& shown : files.unnamed) {
                company_.clear();
                prefix_.clear();
                const std::string line =
                    texts::kNombreSinCp1252 + core::escapeControls(direc + shown);
                log(direc, line);
                fileRow(shown, Outcome::Skipped, line, true);
            }
            // A link, a folder, a FIFO or a device named like a flat file: never followed,
            // never waited on.
            for (const std::string& shown : files.notFiles) {
                company_.clear();
                prefix_.clear();
                const std::string line = texts::kNoEsArchivo + core::escapeControls(direc + shown);
                log(direc, line);
                fileRow(shown, Outcome::Skipped, line, true);
            }
            const std::vector<std::optional<core::Date>> last = lastDays(files.names);
            for (size_t i = 0; i < files.names.size(); ++i) {
                try {
                    c_.lastDate = last[i];
                    importFile(direc, files.names[i]);
                } catch (...) {
                    // The run stops here: this file stays, and the files after it wait for the
                    // next run.
                    fileRow(files.names[i], Outcome::Kept, reasonOf(std::current_exception(), fdm_),
                            true);
                    company_.clear();
                    prefix_.clear();
                    for (size_t j = i + 1; j < files.names.size(); ++j)
                        fileRow(files.names[j], Outcome::NotReached, {}, false);
                    throw;
                }
                if (remoteBegun_) reportRemote(cleanup_.ended(), direc);
            }
            fdm_.QCentros.Close();
            if (remote_.configured && cleanup_.changesFolder()) {
                observer_.panelText(texts::kEsperandoBorrados);
                port_.repaint();
            }
            finishRemote(direc);
        } catch (...) {
            // A run that stops still waits for its clients and tells how they ended.
            try {
                finishRemote(direc);
            } catch (...) {
            }
            throw;
        }
    }

    observer_.panelHidden();
    port_.repaint();
    summary_.reachedEnd = true;
    port_.close();
}

void ImportRun::importFile(const std::string& direc, const std::string& name) {
    reader_.setFormat(in_.separator, in_.delimiter);
    const std::string path = direc + name;
    const std::string shown = core::escapeControls(path);
    company_.clear();
    prefix_.clear();

    const std::unique_ptr<platform::HeldFile> held = cleanup_.hold(env_, path);
    if (!held) {
        log(direc, texts::kErrorAbrir + shown);
        fileRow(name, Outcome::NotOpenable, texts::kErrorAbrir + shown, false);
        return;
    }
    // Changed a moment ago: the point of sale's upload may still be writing it. Such a file
    // waits for the next run as a held one does (a time ahead of the clock is no upload).
    platform::HeldFile& file = *held;
    const auto age = env_.now() - file.modified();
    if (age >= std::chrono::seconds(0) && age < std::chrono::seconds(options_.settleSeconds)) {
        file.close();
        log(direc, texts::kArchivoReciente + shown);
        fileRow(name, Outcome::NotOpenable, texts::kArchivoReciente + shown, false);
        return;
    }
    c_.Arch = 1;
    struct ArchReset {
        int32_t& arch;
        ~ArchReset() { arch = 0; }
    } archReset{c_.Arch};

    // A check follows the run it foresees: without keepGoing it stops where the run would.
    if (!options_.keepGoing) {
        readAndCleanUp(file, direc, name);
        return;
    }
    try {
        readAndCleanUp(file, direc, name);
    } catch (...) {
        // The invoice being stored is rolled back already; a lost connection ends the run.
        const std::exception_ptr failure = std::current_exception();
        if (lostConnection(failure)) throw;
        const std::string reason = reasonOf(failure, fdm_);
        c_.NroIte = 0;
        try {
            std::rethrow_exception(failure);
        } catch (const core::SilentAbort&) {
        } catch (...) {
            port_.failure(reason);  // shown as a failure that stops a run would be
        }
        fileRow(name, Outcome::Kept, reason, true);
    }
}

void ImportRun::switchCompany() {
    c_.CiaAct.clear();       // until it is open: a failed switch leaves no company to rely on
    FileBuffers::close(b_);  // of the company before
    // Synchronous: open, or a failure that stops the run.
    fdm_.connect(fdm_.Quorvan, data::companyDatabase(in_.server, c_.CodCia), in_.user,
                 in_.password);
    c_.CiaAct = c_.CodCia;
}

void ImportRun::enterCompany(const std::string& direc) {
    if (!options_.databases || entered_.count(c_.CiaAct)) return;
    for (const LimboOutcome& o : options_.databases->enterCompany()) {
        ReportRow row;
        switch (o.action) {
            case LimboOutcome::Action::Committed:
                row.outcome = Outcome::LimboCommitted;
                ++summary_.limboCommitted;
                break;
            case LimboOutcome::Action::RolledBack:
                row.outcome = Outcome::LimboRolledBack;
                ++summary_.limboRolledBack;
                break;
            case LimboOutcome::Action::Left:
                row.outcome = Outcome::LimboLeft;
                ++summary_.limboLeft;
                break;
        }
        log(direc, o.text);
        row.company = c_.CiaAct;
        row.reason = o.text;
        row.attention = o.attention;
        report(row);
    }
    entered_.insert(c_.CiaAct);  // after success: a failure here is met again at its next file
}

void ImportRun::readAndCleanUp(platform::HeldFile& file, const std::string& direc,
                               const std::string& name) {
    // As messages show it: a control character of the name written out.
    const std::string path = core::escapeControls(direc + name);
    FlatFileName parsed = parseFlatFileName(name);
    c_.date = parsed.date();  // a name without a valid date stops the run here
    observer_.fileShown(c_.date, c_.prefix);

    // A code that is not a centre, or not a point of sale of its company, makes no invoice.
    if (!fdm_.QCentros.Locate("CENT_COD", parsed.cc)) {
        log(direc, texts::kSinCentro + path);
        fileRow(name, Outcome::Skipped, texts::kSinCentro + path, true);
        return;
    }
    c_.CodCia = fdm_.QCentros.text(1);
    company_ = c_.CodCia;
    if (c_.CodCia != c_.CiaAct) switchCompany();
    enterCompany(direc);

    FileBuffers buffers(b_);
    if (!b_.CPtovta.Locate("PTVT_ID", parsed.cc)) {
        buffers.keep();
        log(direc, texts::kSinPuntoVenta + path);
        fileRow(name, Outcome::Skipped, texts::kSinPuntoVenta + path, true);
        return;
    }
    c_.prefix = b_.CPtovta.FieldByName("PREF_PRE").asString();
    prefix_ = c_.prefix;
    observer_.fileShown(c_.date, c_.prefix);
    port_.repaint();  // the file's date and prefix

    ++summary_.filesRead;  // read from here on, also when a failure stops the reading
    const FileVerdict verdict = readFile(file, direc, name);
    buffers.keep();
    if (verdict.keep) {
        fileRow(name, Outcome::Kept, verdict.reason, verdict.attention);
        return;
    }
    // The file is still held: it is deleted only as it was read.
    switch (cleanup_.cleanUp(direc, name, file)) {
        case CleanupOutcome::Removed:
            fileRow(name, Outcome::Removed, {}, false, true);
            break;
        case CleanupOutcome::NotDeleted:
            // Removed on the server; here the next run finds its invoices stored.
            fileRow(name, Outcome::Kept, texts::kNoSePudoBorrar + path, true, true);
            break;
        case CleanupOutcome::Changed:
            log(direc, texts::kArchivoModificado + path);
            fileRow(name, Outcome::Kept, texts::kArchivoModificado + path, false);
            break;
        case CleanupOutcome::UnsafeName:
            log(direc, texts::kNombreNoRemovible + path);
            fileRow(name, Outcome::Kept, texts::kNombreNoRemovible + path, true);
            break;
    }
}

ReportRow ImportRun::importRecord(const SummaryRecord& record, const std::string& name,
                                  int number) {
    ReportRow row;
    row.file = name;
    row.record = number;
    row.company = company_;
    row.prefix = prefix_;
    row.number = invoiceNumber(core::dateText(c_.date));
    InvoiceResult result;
    try {
        result = steps_.importRecord(record);
    } catch (...) {
        // Rolled back: the report says so, whether the run goes on or stops here. A commit cut
        // off after every part was prepared is decided: the next run finishes it.
        row.outcome = inDoubt(std::current_exception()) ? Outcome::Stored : Outcome::Refused;
        ++(row.outcome == Outcome::Stored ? summary_.invoicesSaved : summary_.refused);
        row.reason = reasonOf(std::current_exception(), fdm_);
        row.attention = true;
        report(row);
        throw;
    }
    row.number = result.number;
    row.id = result.id;
    if (result.total) row.total = result.total->toFixed(2);
    if (result.vat) row.vat = result.vat->toFixed(2);
    row.lines = result.lines;
    row.copied = result.copied;
    row.pending = result.pending;
    switch (result.outcome) {
        case RecordOutcome::Stored:
            row.outcome = Outcome::Stored;
            ++summary_.invoicesSaved;
            // Stored, but a branch lacks it: a person must see to that branch.
            for (const std::string& refusal : result.refusedCopies) {
                row.reason += (row.reason.empty() ? "" : " | ") + refusal;
                row.attention = true;
            }
            break;
        case RecordOutcome::Duplicate:
            row.outcome = Outcome::Duplicate;
            ++summary_.duplicates;
            break;
        case RecordOutcome::Refused:
            row.outcome = Outcome::Refused;
            row.reason = fdm_.shownMessages();
            row.attention = true;
            ++summary_.refused;
            break;
    }
    report(row);
    return row;
}

// Reads the file to its end, handing each summary record on. The file must stay when its
// last summary record was not stored, when it had none, or when it holds a record the reader
// could not take whole, one with a NUL byte or one without its line end.
ImportRun::FileVerdict ImportRun::readFile(platform::HeldFile& file, const std::string& direc,
                                           const std::string& name) {
    // As messages show it: a control character of the name written out.
    const std::string path = core::escapeControls(direc + name);
    bool ok = false;
    int records = 0;
    std::string damage;  // the log line of a record that could not be read whole
    bool nulLogged = false;
    ProgressCounter progress(file.size());
    reader_.reset();

    // A summary record that is not handed on: its row.
    auto skipped = [&](const std::string& reason, bool attention) {
        ReportRow row;
        row.file = name;
        row.record = ++records;
        row.outcome = Outcome::Skipped;
        row.company = company_;
        row.prefix = prefix_;
        row.reason = reason;
        row.attention = attention;
        report(row);
    };
    auto onRecord = [&] {
        if (reader_.overflowed()) {
            // A summary record is refused rather than cut; other records are not imported anyway.
            if (reader_.isSummary() || reader_.overflowField() == 0) {
                damage = texts::kRegistroLargo + path;
                log(direc, damage);
                if (reader_.isSummary()) skipped(damage, true);
            }
            return;
        }
        if (reader_.nulField() >= 0 && (reader_.isSummary() || reader_.nulField() == 0)) {
            // A NUL cuts its field short: a cut amount must not become an invoice. One line
            // per file: a damaged file may hold thousands.
            if (!nulLogged) log(direc, texts::kRegistroNulo + path);
            nulLogged = true;
            damage = texts::kRegistroNulo + path;
            if (reader_.isSummary()) skipped(damage, true);
            return;
        }
        if (!reader_.isSummary()) return;
        const ReportRow row = importRecord(SummaryRecord(reader_.fields()), name, ++records);
        c_.NroIte = 0;
        ok = row.outcome != Outcome::Refused;
    };

    static constexpr size_t kBlock = 64 * 1024;
    std::unique_ptr<char[]> buf(new char[kBlock]);
    int64_t shown = 0;
    // The bar moves by the steps a block made, and the window shows it once per block.
    auto stepBar = [&] {
        if (shown == progress.steps()) return;
        for (; shown < progress.steps(); ++shown) observer_.progressStep();
        port_.repaint();
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

    std::string cut;  // the file may still be being written: what follows its last line end
    if (reader_.pendingSummary()) {
        cut = texts::kRegistroSinFin + path;
        log(direc, cut);
        skipped(cut, false);
    }
    if (!damage.empty()) return {true, damage, true};
    if (!ok && records > 0 && cut.empty()) return {true, texts::kUltimaRechazada + path, true};
    if (!cut.empty()) return {true, cut, false};
    if (!ok) return {true, texts::kSinResumen + path, false};
    return {};
}

}  // namespace importer
