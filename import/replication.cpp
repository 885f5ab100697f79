#include "import/replication.h"

#include "core/text.h"
#include "data/texts.h"

namespace importer {
namespace {

constexpr int kServidorWidth = 60;  // RPAE_SERVIDOR

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

// Keeps the branch connection and the replica buffer from outliving one branch's copy, also
// when a failure ends it early.
class BranchCopy {
  public:
    BranchCopy(fb::Connection& connection, records::Buffer& copy)
        : connection_(connection), copy_(copy) {}
    ~BranchCopy() {
        try {
            end();
        } catch (...) {
        }
    }
    BranchCopy(const BranchCopy&) = delete;
    BranchCopy& operator=(const BranchCopy&) = delete;

    void end() {
        copy_.Close();
        connection_.close();
    }

  private:
    fb::Connection& connection_;
    records::Buffer& copy_;
};

}  // namespace

Replicator::Replicator(data::Tfdm& fdm, WindowBuffers& buffers) : fdm_(fdm), b_(buffers) {}

BranchCopies Replicator::replicate() {
    records::Buffer& branch = b_.CReplicaf;
    // Read afresh for every invoice; the buffer stays open until the next one.
    branch.Close();
    branch.Open();
    BranchCopies copies;
    for (branch.First(); !branch.Eof(); branch.Next())
        if (matches(branch)) copyTo(branch, copies);
    return copies;
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

void Replicator::copyTo(records::Buffer& branch, BranchCopies& copies) {
    fb::Connection& con = fdm_.ConReplica;
    con.close();
    const std::string database = branch.FieldByName("RPVE_SERVIDOR").asString() + "\\datos\\" +
                                 branch.FieldByName("RPVE_COD").asString() + "\\quorvan.fdb";
    con.setParam("Database", database);
    con.setParam("User_Name",
                 fdm_.configuracion("INVENTARIO", "ARTICULOS",
                                    "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS"));
    con.setParam("password", fdm_.configuracion("INVENTARIO", "ARTICULOS",
                                                "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS"));

    bool reached = true;
    try {
        con.open();
    } catch (const std::exception&) {
        reached = false;  // recorded below, outside the handler
    }
    if (!reached) {
        recordPending(branch, database);
        ++copies.pending;
        fdm_.port().information(data::texts::kSinConexion + con.param("Database"));
    }
    if (!con.connected()) return;

    BranchCopy copy(con, b_.CFactreplica);
    fdm_.SIdfactreplica.ExecProc();
    const std::string branchId = fdm_.SIdfactreplica.params().ParamByName("ID").asString();

    records::Buffer& replica = b_.CFactreplica;
    replica.Close();
    replica.FetchParams();
    replica.Params.ParamByName("ID").setText("0");
    replica.Open();
    replica.Insert();
    fillHeader(branch, branchId);
    replica.Post();
    fillLines(branchId);
    // A refused copy has been shown by the provider's hook and rolled back as a whole.
    if (replica.ApplyUpdates(0) == 0) ++copies.copied;
    copy.end();
}

void Replicator::recordPending(records::Buffer& branch, const std::string& database) {
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
    pending.FieldByName("RPAE_CIA").setString(branch.FieldByName("RPVE_COD").asString());
    pending.FieldByName("RPAE_TIPO").setString("F");
    pending.FieldByName("RPAE_SERVIDOR").setString(database.substr(0, kServidorWidth));
    pending.Post();
    pending.ApplyUpdates(0);  // a refusal leaves no row; nobody reads these rows back
    pending.Close();
}

void Replicator::fillHeader(records::Buffer& branch, const std::string& branchId) {
    records::Buffer& invoice = b_.CFacturas;
    records::Buffer& replica = b_.CFactreplica;
    for (int i = 0; i < invoice.FieldCount(); ++i) {
        records::Field from = invoice.Fields(i);
        if (from.def().nested) continue;  // the lines follow one by one
        int to = replica.FindFieldIndex(from.name());
        if (to < 0) continue;  // not declared by the replica buffer: NULL in the branch
        copyValue(from, replica.Fields(to));
    }
    replica.FieldByName("FACT_ID").setString(branchId);
    replica.FieldByName("PREF_PRE").setString(branch.FieldByName("RPVE_PREFDES").asString());
    replica.FieldByName("PTVT_ID").setInteger(branch.FieldByName("RPVE_PTVTDES").asInteger());
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
