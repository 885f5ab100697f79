#include "import/replication.h"

#include <algorithm>

#include "core/errors.h"
#include "core/text.h"
#include "data/texts.h"

namespace importer {
namespace {

constexpr int kServidorWidth = 60;  // RPAE_SERVIDOR

// Taken in the branch's part before each copy; a refused copy goes back to it. A second copy
// to the same database in the same transaction takes it again under the same name, which
// keeps what the first one wrote.
const char kSavepoint[] = "SAVEPOINT COPIA_FACTURA";
const char kUndoCopy[] = "ROLLBACK TO SAVEPOINT COPIA_FACTURA";

// One field by the copy rules: a decimal goes through the money type and an empty one
// becomes 0; a text blob is copied as its text; everything else keeps its value (an empty
// field stays empty).
void copyValue(records::Field from, records::Field to) {
    switch (from.def().type) {
        case fb::FieldType::Decimal:
            to.setMoney(from.isNull() ? core::Money() : from.asMoney());
            break;
        case fb::FieldType::TextBlob:
            to.setString(from.asString());
            break;
        default:
            to.setValue(from.value());
            break;
    }
}

// Failures that are the whole transaction's, not the branch's refusal: a lock conflict is
// tried again with everything else, a lost link stops the run.
bool endsTheTransaction(const fb::Error& e) {
    return e.kind() == fb::ErrorKind::LockConflict || e.lostConnection();
}

}  // namespace

Replicator::Replicator(data::Tfdm& fdm, const ReplicaBuffers& buffers, BranchConnections& branches)
    : fdm_(fdm), b_(buffers), branches_(branches) {}

std::vector<fb::Connection*> Replicator::prepareCopies() {
    plan_.clear();
    noneEpoch_ = 0;
    records::Buffer& rows = b_.CReplicaf;
    // Read afresh for every invoice; the buffer stays open until the next one.
    rows.Close();
    rows.Open();
    std::vector<fb::Connection*> parts;
    for (rows.First(); !rows.Eof(); rows.Next()) {
        if (!matches(rows)) continue;
        Copy c;
        c.cod = rows.FieldByName("RPVE_COD").asString();
        c.prefdes = rows.FieldByName("RPVE_PREFDES").asString();
        c.ptvtdes = rows.FieldByName("RPVE_PTVTDES").asInteger();
        c.database = branchDatabase(rows);
        c.branch = &branches_.reach(c.database);
        if (c.branch->reached) {
            fb::Connection* part = &c.branch->connection;
            if (std::find(parts.begin(), parts.end(), part) == parts.end()) parts.push_back(part);
        } else if (!c.branch->told) {
            c.branch->told = true;
            fdm_.port().information(data::texts::kSinConexion + c.database);
        }
        plan_.push_back(std::move(c));
    }
    records::Buffer& invoice = b_.CFacturas;
    noneEpoch_ = plan_.empty() ? fdm_.answersEpoch() : 0;
    nonePrefix_ = invoice.FieldByName("PREF_PRE").asString();
    nonePtvt_ = invoice.FieldByName("PTVT_ID").asInteger();
    return parts;
}

bool Replicator::presumeNoCopies() {
    records::Buffer& invoice = b_.CFacturas;
    if (noneEpoch_ == 0 || noneEpoch_ != fdm_.answersEpoch() ||
        nonePrefix_ != invoice.FieldByName("PREF_PRE").asString() ||
        nonePtvt_ != invoice.FieldByName("PTVT_ID").asInteger())
        return false;
    plan_.clear();
    return true;
}

bool Replicator::matches(records::Buffer& branch) const {
    // RPVE_COD is fixed-length text: a code of blanks reads as empty.
    if (core::trimBlanks(branch.FieldByName("RPVE_COD").asString()).empty()) return false;
    records::Buffer& invoice = b_.CFacturas;
    return branch.FieldByName("RPVE_PREF").asString() ==
               invoice.FieldByName("PREF_PRE").asString() &&
           branch.FieldByName("RPVE_PTVT").asInteger() ==
               invoice.FieldByName("PTVT_ID").asInteger();
}

BranchCopies Replicator::copy(const fb::Transaction& tra) {
    BranchCopies copies;
    for (Copy& c : plan_) {
        if (!c.branch->reached) {
            recordPending(c, tra, false);
            ++copies.pending;
        } else if (copyTo(c, tra, copies, false)) {
            ++copies.copied;
        }
    }
    return copies;
}

BranchCopies Replicator::check(const fb::Transaction& tra) {
    BranchCopies copies;
    for (Copy c : plan_) {
        if (!c.branch->reached) {
            recordPending(c, tra, true);
            ++copies.pending;
            continue;
        }
        // The copy's statements in the branch, in a transaction that writes nothing.
        fb::Transaction own = c.branch->connection.begin();
        if (copyTo(c, own, copies, true)) ++copies.copied;
        own.rollback();
    }
    return copies;
}

bool Replicator::copyTo(Copy& c, const fb::Transaction& tra, BranchCopies& copies, bool check) {
    fb::Connection& con = c.branch->connection;
    branches_.use(*c.branch);
    if (!check) con.run(tra, kSavepoint, {});
    const size_t shownBefore = fdm_.shownMessages().size();
    auto show = [&](const std::exception& e) {
        records::ResolverResponse response;
        fdm_.ManejarError(nullptr, nullptr, e, records::UpdateKind::ukInsert, response);
    };
    bool refused = true;
    try {
        if (check) {
            // What a copy draws and sends, prepared only: no id is drawn from the branch.
            fdm_.SIdfactreplica.PrepareProc(tra);
            c.id = "0";
            fill(c, tra);
            b_.CFactreplica.PrepareUpdates(tra);
            b_.CFactreplica.CancelUpdates();
            refused = false;
        } else {
            fill(c, tra);
            // A refused row has been shown by the replica provider's hook.
            refused = b_.CFactreplica.ApplyUpdates(0, tra) > 0;
        }
    } catch (const fb::Error& e) {
        if (endsTheTransaction(e)) throw;
        show(e);
    } catch (const core::SilentAbort&) {
        // Shown by the replica buffer's error handling.
    } catch (const std::exception& e) {
        show(e);  // a buffer that cannot take the branch's columns, a field it lacks
    }
    // The copy's rows are in the transaction now, or about to be undone there.
    if (check) b_.CFactreplica.CancelUpdates();
    b_.CFactreplica.Close();
    if (!refused) return true;
    if (!check) con.run(tra, kUndoCopy, {});
    std::string shown = fdm_.shownMessages().substr(shownBefore);
    if (shown.rfind(" | ", 0) == 0) shown.erase(0, 3);
    copies.refused.push_back(data::texts::kCopiaRechazada + c.database + ": " + shown);
    return false;
}

void Replicator::fill(Copy& c, const fb::Transaction& tra) {
    if (!c.id) {
        fdm_.SIdfactreplica.ExecProc(tra);
        c.id = fdm_.SIdfactreplica.params().ParamByName("ID").asString();
    }
    records::Buffer& replica = b_.CFactreplica;
    replica.Close();
    replica.FetchParams();
    replica.Params.ParamByName("ID").setText("0");
    replica.Open();
    replica.Insert();
    fillHeader(c);
    replica.Post();
    fillLines(*c.id);
}

void Replicator::recordPending(const Copy& c, const fb::Transaction& tra, bool check) {
    records::Buffer& invoice = b_.CFacturas;
    records::Buffer& pending = fdm_.CReplarticulo;
    pending.Close();
    pending.FetchParams();
    pending.Params.ParamByName("ID").setText("0");
    pending.Open();
    pending.Insert();
    pending.FieldByName("RPAE_ID").setInteger(invoice.FieldByName("FACT_ID").asInteger());
    pending.FieldByName("ARTI_COD")
        .setString(invoice.FieldByName("PREF_PRE").asString() +
                   invoice.FieldByName("FACT_NUMERO").asString());
    pending.FieldByName("RPAE_CIA").setString(c.cod);
    pending.FieldByName("RPAE_TIPO").setString("F");
    pending.FieldByName("RPAE_SERVIDOR").setString(c.database.substr(0, kServidorWidth));
    pending.Post();
    if (check) {
        pending.PrepareUpdates(tra);
        pending.CancelUpdates();
    } else {
        pending.ApplyUpdates(0, tra);  // a refusal leaves no row; nobody reads these rows back
    }
    pending.Close();
}

void Replicator::fillHeader(const Copy& c) {
    records::Buffer& invoice = b_.CFacturas;
    records::Buffer& replica = b_.CFactreplica;
    for (int i = 0; i < invoice.FieldCount(); ++i) {
        records::Field from = invoice.Fields(i);
        if (from.def().nested) continue;  // the lines follow one by one
        int to = replica.FindFieldIndex(from.name());
        if (to < 0) continue;  // not declared by the replica buffer: NULL in the branch
        copyValue(from, replica.Fields(to));
    }
    replica.FieldByName("FACT_ID").setString(*c.id);
    replica.FieldByName("PREF_PRE").setString(c.prefdes);
    replica.FieldByName("PTVT_ID").setInteger(c.ptvtdes);
}

void Replicator::fillLines(const std::string& branchId) {
    records::Buffer& lines = b_.CFactdetalle;
    records::Buffer& replica = b_.CFactdetreplica;
    for (lines.First(); !lines.Eof(); lines.Next()) {
        replica.Insert();
        for (int i = 0; i < lines.FieldCount(); ++i) {
            records::Field from = lines.Fields(i);
            copyValue(from, replica.FieldByName(from.name()));
        }
        replica.FieldByName("FACT_ID").setString(branchId);
        replica.Post();
    }
}

}  // namespace importer
