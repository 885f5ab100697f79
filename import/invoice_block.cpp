#include "import/invoice_block.h"

#include "core/date.h"
#include "core/text.h"
#include "records/insert_block.h"

namespace importer {
namespace {

// The posting statement the other path opens, as it reaches the database.
const char kPosting[] = "select * from contabil_factura(?,?)";
const char kIdColumn[] = "FACT_ID";

std::string columnName(const fb::ColumnInfo& c) {
    return c.field.empty() ? c.name : c.field;
}

std::string quoted(const std::string& name) {
    return "\"" + name + "\"";
}

bool isIdColumn(const fb::ColumnInfo& c) {
    return core::equalsNoCase(columnName(c), kIdColumn);
}

bool isInteger(fb::FieldType t) {
    return t == fb::FieldType::SmallInt || t == fb::FieldType::Integer ||
           t == fb::FieldType::BigInt;
}

// One header and its lines (the header comes first, as the buffer sends them).
bool oneHeader(const records::PendingInserts& p) {
    if (p.rows.empty()) return false;
    for (size_t i = 1; i < p.rows.size(); ++i)
        if (p.rows[i].columns == p.rows[0].columns) return false;
    return true;
}

size_t paramCount(const records::PendingInserts& p) {
    size_t n = 8;  // the branch rows' three, the lock's two, the test's two, the interface's
    for (const records::InsertRow& row : p.rows)
        for (const fb::ColumnInfo& c : *row.columns) n += isIdColumn(c) ? 0 : 1;
    return n;
}

fb::Value text(const std::string& t) {
    return fb::Value::ofText(t);
}

}  // namespace

void InvoiceBlocks::forgetOtherConnections(data::Tfdm& fdm) {
    if (connection_ == fdm.Quorvan.openCount()) return;
    connection_ = fdm.Quorvan.openCount();
    posting_.reset();
    unprepared_.clear();
    // The texts depend on the tables' columns, which another database may lay out otherwise.
    texts_.clear();
}

const InvoiceBlocks::Posting& InvoiceBlocks::posting(data::Tfdm& fdm) {
    forgetOtherConnections(fdm);
    if (!posting_) {
        std::vector<fb::ColumnInfo> columns;
        try {
            columns = fdm.Quorvan.describe(kPosting);
        } catch (const fb::LostConnection&) {
            throw;
        } catch (const fb::Error&) {
            // The other path meets the same refusal, and tells it as it always did.
        }
        Posting p;
        if (columns.size() >= 3) {
            p.state = quoted(columns[0].name);
            p.entry = quoted(columns[2].name);
            p.integers = isInteger(columns[0].type) && isInteger(columns[2].type);
        }
        posting_ = p;
    }
    return *posting_;
}

bool InvoiceBlocks::fits(data::Tfdm& fdm, const InvoiceBuffers& buffers) {
    if (!posting(fdm).integers) return false;
    records::Buffer& h = buffers.CFacturas;
    const records::PendingInserts pending = h.PendingRows();
    if (!oneHeader(pending)) return false;
    if (paramCount(pending) > kMaxParams || pending.rows.size() + kOwnContexts > kMaxContexts)
        return false;
    return !unprepared_.count(pending.rows.size() - 1);
}

const std::string& InvoiceBlocks::text(data::Tfdm& fdm, const InvoiceBuffers& buffers) {
    const Posting& post = posting(fdm);
    const records::PendingInserts pending = buffers.CFacturas.PendingRows();
    const size_t lines = pending.rows.size() - 1;
    auto found = texts_.find(lines);
    if (found != texts_.end()) return found->second;

    std::string params =
        "BR_CHECK INTEGER = ?, "
        "BR_PREF TYPE OF COLUMN FACTURAS.PREF_PRE = ?, "
        "BR_PTVT TYPE OF COLUMN FACTURAS.PTVT_ID = ?, "
        "LOCK_PREF TYPE OF COLUMN PREFIJOS.PREF_PRE = ?, "
        "LOCK_PTVT TYPE OF COLUMN PUNTO_VENTA.PTVT_ID = ?, "
        "DUP_PREF TYPE OF COLUMN FACTURAS.PREF_PRE = ?, "
        "DUP_FECHA TYPE OF COLUMN FACTURAS.FACT_FECHA = ?, "
        "INT_PREF TYPE OF COLUMN INTERFAZ_VENTAS.PREF_PRE = ?";
    std::string inserts;
    size_t n = 0;
    for (const records::InsertRow& row : pending.rows) {
        std::string cols, marks;
        for (const fb::ColumnInfo& c : *row.columns) {
            cols += (cols.empty() ? "" : ", ") + quoted(columnName(c));
            if (isIdColumn(c)) {
                marks += (marks.empty() ? ":R_ID" : ", :R_ID");
                continue;
            }
            const std::string p = "P" + std::to_string(++n);
            const std::string table = c.relation.empty() ? *row.table : c.relation;
            params += ", " + p + " TYPE OF COLUMN " + quoted(table) + "." + quoted(columnName(c)) +
                      " = ?";
            marks += (marks.empty() ? ":" : ", :") + p;
        }
        inserts += "    INSERT INTO " + *row.table + " (" + cols + ") VALUES (" + marks + ");\n";
    }

    // The lock, the test again and the posting read as their statements do on the other
    // path; CONTABIL_FACTURA's rows are all read, and its first one decides.
    std::string sql = "EXECUTE BLOCK (" + params +
                      ")\n"
                      "RETURNS (R_STATE INTEGER, R_ID BIGINT)\n"
                      "AS\n"
                      "DECLARE VARIABLE LOCKED INTEGER = 0;\n"
                      "DECLARE VARIABLE LOCKED_PREF TYPE OF COLUMN PREFIJOS.PREF_PRE;\n"
                      "DECLARE VARIABLE LOCKED_PTVT TYPE OF COLUMN PUNTO_VENTA.PTVT_ID;\n"
                      "DECLARE VARIABLE DUP TYPE OF COLUMN FACTURAS.FACT_ID;\n"
                      "DECLARE VARIABLE INVE TYPE OF COLUMN INTERFAZ_VENTAS.INVE_ID;\n"
                      "DECLARE VARIABLE SEEN INTEGER = 0;\n"
                      "DECLARE VARIABLE STATE_NOW BIGINT;\n"
                      "DECLARE VARIABLE ENTRY_NOW BIGINT;\n"
                      "DECLARE VARIABLE STATE_FIRST BIGINT;\n"
                      "DECLARE VARIABLE ENTRY_FIRST BIGINT;\n"
                      "BEGIN\n"
                      "  R_STATE = 0;\n"
                      // Wider than the replication's own test of a row (blanks, case of the
                      // code): a row it would not take only sends the invoice the longer way.
                      "  IF (BR_CHECK = 1 AND EXISTS(SELECT 1 FROM REPLICA_VENTAS WHERE "
                      "COALESCE(RPVE_PREF, '') = COALESCE(:BR_PREF, '') AND "
                      "COALESCE(RPVE_PTVT, 0) = COALESCE(:BR_PTVT, 0))) THEN\n"
                      "  BEGIN\n"
                      "    R_STATE = 4;\n"
                      "    SUSPEND;\n"
                      "    EXIT;\n"
                      "  END\n"
                      "  IN AUTONOMOUS TRANSACTION DO\n"
                      "    EXECUTE PROCEDURE CAMBIE_ID_FACTURA RETURNING_VALUES :R_ID;\n"
                      "  BEGIN\n"
                      "    FOR SELECT PREF_PRE FROM PREFIJOS WHERE TIDO_COD = 31 AND PREF_PRE = "
                      ":LOCK_PREF WITH LOCK INTO :LOCKED_PREF DO LOCKED = 1;\n"
                      "    IF (LOCKED = 0) THEN\n"
                      "      FOR SELECT PTVT_ID FROM PUNTO_VENTA WHERE PTVT_ID = :LOCK_PTVT "
                      "WITH LOCK INTO :LOCKED_PTVT DO LOCKED = 1;\n"
                      "    FOR SELECT FACT_ID FROM FACTURAS WHERE PREF_PRE = :DUP_PREF AND "
                      "FACT_FECHA = :DUP_FECHA INTO :DUP DO LEAVE;\n"
                      "    IF (DUP IS NOT NULL) THEN\n"
                      "      R_STATE = 1;\n"
                      "    ELSE\n"
                      "    BEGIN\n" +
                      inserts +
                      "    EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, :R_ID);\n"
                      "    SELECT MAX(INVE_ID) FROM INTERFAZ_VENTAS WHERE TIDO_COD = 31 AND "
                      "PREF_PRE = :INT_PREF INTO :INVE;\n"
                      "    IF (INVE IS NULL) THEN\n"
                      "      R_STATE = 3;\n"
                      "    ELSE\n"
                      "    BEGIN\n"
                      "      FOR SELECT " +
                      post.state + ", " + post.entry +
                      " FROM CONTABIL_FACTURA(:R_ID, :INVE) INTO :STATE_NOW, :ENTRY_NOW DO\n"
                      "        IF (SEEN = 0) THEN\n"
                      "        BEGIN\n"
                      "          SEEN = 1;\n"
                      "          STATE_FIRST = STATE_NOW;\n"
                      "          ENTRY_FIRST = ENTRY_NOW;\n"
                      "        END\n"
                      "      IF (SEEN = 1 AND COALESCE(STATE_FIRST, 0) = 0) THEN\n"
                      "        EXECUTE PROCEDURE CONTABILIZA_PENDIENTE(COALESCE(ENTRY_FIRST, 0));\n"
                      "    END\n"
                      "    END\n"
                      "    WHEN ANY DO R_STATE = 2;\n"
                      "  END\n"
                      "  SUSPEND;\n"
                      "END";
    return texts_.emplace(lines, std::move(sql)).first->second;
}

namespace {

std::vector<fb::Value> blockParams(const RunContext& context, const InvoiceBuffers& buffers,
                                   bool noBranchRows) {
    records::Buffer& h = buffers.CFacturas;
    const std::string prefix = h.FieldByName("PREF_PRE").asString();
    const fb::Value ptvt = fb::Value::ofInt(h.FieldByName("PTVT_ID").asInteger());
    std::vector<fb::Value> values{fb::Value::ofInt(noBranchRows ? 1 : 0),
                                  text(prefix),
                                  ptvt,
                                  text(prefix),
                                  ptvt,
                                  text(context.prefix),
                                  text(core::dateText(context.date)),
                                  text(prefix)};
    const records::PendingInserts pending = h.PendingRows();
    for (const records::InsertRow& row : pending.rows)
        for (size_t c = 0; c < row.columns->size(); ++c)
            if (!isIdColumn((*row.columns)[c])) values.push_back((*row.values)[c]);
    return values;
}

}  // namespace

std::optional<BlockAnswer> InvoiceBlocks::run(const RunContext& context, data::Tfdm& fdm,
                                              const InvoiceBuffers& buffers,
                                              const fb::Transaction& tra, bool noBranchRows) {
    if (!prepare(fdm, buffers, tra)) return std::nullopt;
    const std::vector<fb::Value> row = fdm.Quorvan.runSingleton(
        tra, text(fdm, buffers), blockParams(context, buffers, noBranchRows));
    BlockAnswer a;
    if (row.size() < 2 || row[0].isNull()) return a;
    a.outcome = row[0].integer >= 0 && row[0].integer <= 4
                    ? static_cast<BlockOutcome>(row[0].integer)
                    : BlockOutcome::Failed;
    a.id = row[1].isNull() ? 0 : row[1].integer;  // 0: none drawn
    return a;
}

bool InvoiceBlocks::prepare(data::Tfdm& fdm, const InvoiceBuffers& buffers,
                            const fb::Transaction& tra) {
    const size_t lines = buffers.CFacturas.PendingRows().rows.size() - 1;
    try {
        fdm.Quorvan.prepare(tra, text(fdm, buffers));
        return true;
    } catch (const fb::LostConnection&) {
        throw;
    } catch (const fb::Error&) {
        unprepared_[lines] = true;
        return false;
    }
}

}  // namespace importer
