#include "tests/crash/crash_timeline.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <stdexcept>

namespace crash {
namespace {

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

// The prefix and day of the duplicate test "... PREF_PRE = 'AB01' AND FACT_FECHA =
// '2024/03/01'".
InvoiceKey keyOfDuplicateTest(const std::string& sql) {
    auto quoted = [&](const std::string& after) {
        const size_t at = sql.find(after);
        if (at == std::string::npos) throw std::runtime_error("unexpected duplicate test " + sql);
        const size_t begin = at + after.size();
        return sql.substr(begin, sql.find('\'', begin) - begin);
    };
    InvoiceKey k;
    k.prefix = quoted("PREF_PRE = '");
    k.date = quoted("FACT_FECHA = '");
    for (char& c : k.date)
        if (c == '/') c = '-';
    for (const FlatFile& f : flatFiles())
        if (f.key.prefix == k.prefix) k.cia = f.key.cia;
    return k;
}

}  // namespace

std::vector<Event> readTrace(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("no trace at " + path);
    std::vector<Event> events;
    std::string line;
    while (std::getline(in, line)) {
        const size_t a = line.find('\t'), b = line.find('\t', a + 1), c = line.rfind('\t');
        if (a == std::string::npos || b == std::string::npos || c <= b)
            throw std::runtime_error("bad trace line " + line);
        Event e{std::stoul(line.substr(0, a)), line.substr(a + 1, b - a - 1),
                line.substr(b + 1, c - b - 1), std::stoll(line.substr(c + 1))};
        if (e.n != events.size() + 1) throw std::runtime_error("trace out of order: " + line);
        events.push_back(std::move(e));
    }
    return events;
}

const char* describe(Stage s) {
    switch (s) {
        case Stage::NotSaved:
            return "not saved";
        case Stage::InLimbo:
            return "prepared everywhere, committed nowhere: in limbo until the rerun commits it";
        case Stage::Complete:
            return "complete";
    }
    return "?";
}

Stage InvoiceEvents::stageAtKill(size_t k) const {
    if (prepare) {
        if (k <= prepare) return Stage::NotSaved;
        return k <= commit ? Stage::InLimbo : Stage::Complete;
    }
    // Each statement before k has run; the transaction commits after its last statement.
    return k <= std::max(posting, pendingRow) ? Stage::NotSaved : Stage::Complete;
}

Timeline Timeline::parse(std::vector<Event> events) {
    Timeline t;
    t.events = std::move(events);
    std::optional<InvoiceEvents> cur;
    auto finish = [&] {
        if (cur && cur->lastInsert) t.invoices.push_back(*cur);
        cur.reset();
    };
    for (const Event& e : t.events) {
        const std::string& s = e.text;
        if (e.kind == "delete") {
            finish();
            t.files.push_back({s.substr(s.rfind('/') + 1), e.n, 0});
            continue;
        }
        if (e.kind == "deleted") {
            if (t.files.empty() || t.files.back().del + 1 != e.n)
                throw std::runtime_error("deletion without its start in the trace");
            t.files.back().deleted = e.n;
            continue;
        }
        if (e.kind == "prepare" || e.kind == "commit") {
            if (!cur || !cur->posting)
                throw std::runtime_error("a commit phase of no invoice at event " +
                                         std::to_string(e.n));
            (e.kind == "prepare" ? cur->prepare : cur->commit) = e.n;
            continue;
        }
        // The whole invoice in one block (the replication's rows and copies follow it). A
        // block that found a branch row asking for the invoice runs again after the rows are
        // read, for the same invoice.
        if (startsWith(s, "EXECUTE BLOCK (BR_CHECK")) {
            const InvoiceKey key = keyOfDuplicateTest(s);
            if (!(cur && cur->block && cur->key == key && !cur->firstBranchInsert &&
                  !cur->pendingRow && !cur->prepare)) {
                finish();
                cur = InvoiceEvents{};
                cur->key = key;
                cur->block = true;
            }
            cur->duplicateTest = cur->lock = cur->recheck = cur->firstInsert = cur->lastInsert =
                cur->totals = cur->entry = cur->posting = e.n;
            continue;
        }
        // One row's INSERT, or a block of them.
        const bool insert =
            startsWith(s, "INSERT INTO ") ||
            (startsWith(s, "EXECUTE BLOCK") && s.find("INSERT INTO ") != std::string::npos);
        if (cur && startsWith(s, "SELECT PREF_PRE FROM PREFIJOS WHERE ") &&
            s.find(" WITH LOCK") != std::string::npos) {
            cur->lock = e.n;
        } else if (cur && cur->lock && !cur->recheck &&
                   startsWith(s, "SELECT FACT_ID FROM FACTURAS WHERE PREF_PRE = ")) {
            cur->recheck = e.n;
        } else if (startsWith(s, "SELECT FACT_ID FROM FACTURAS WHERE PREF_PRE = ")) {
            finish();
            cur = InvoiceEvents{};
            cur->key = keyOfDuplicateTest(s);
            cur->duplicateTest = e.n;
        } else if (cur && insert && s.find("REPLICA_ARTICULO_ESTADO") != std::string::npos) {
            cur->pendingRow = e.n;
        } else if (cur && insert && !cur->totals) {
            if (!cur->firstInsert) cur->firstInsert = e.n;
            cur->lastInsert = e.n;
        } else if (cur && insert && cur->posting) {
            if (!cur->firstBranchInsert) cur->firstBranchInsert = e.n;
            cur->lastBranchInsert = e.n;
        } else if (cur && insert) {
            throw std::runtime_error("unexpected inserts at event " + std::to_string(e.n));
        } else if (cur && startsWith(s, "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA")) {
            cur->totals = e.n;
        } else if (cur && startsWith(s, "select * from contabil_factura(")) {
            cur->entry = e.n;
        } else if (cur && startsWith(s, "EXECUTE PROCEDURE CONTABILIZA_PENDIENTE")) {
            cur->posting = e.n;
        }
    }
    finish();
    for (const InvoiceEvents& i : t.invoices) {
        if (!i.block &&
            !(i.duplicateTest < i.lock && i.lock < i.recheck && i.recheck < i.firstInsert &&
              i.firstInsert < i.totals && i.totals < i.entry && i.entry < i.posting))
            throw std::runtime_error("lock, duplicate test, save, totals and posting of " +
                                     crash::describe(i.key) +
                                     " are not in the trace in that order");
        if (i.copied() && !(i.posting < i.firstBranchInsert && i.lastBranchInsert < i.prepare &&
                            i.pendingRow < i.prepare && i.prepare + 1 == i.commit))
            throw std::runtime_error("the copies of " + crash::describe(i.key) +
                                     " do not come before the two phases of its commit");
    }
    return t;
}

std::string Timeline::where(size_t k) const {
    std::string s = "kill at event " + std::to_string(k);
    if (k == 0 || k > events.size()) return s + " (beyond the run)";
    const Event& e = events[k - 1];
    s += " (before " + e.kind + ": " + e.text.substr(0, 70) + ")";
    for (const InvoiceEvents& i : invoices) {
        const size_t last = i.commit ? i.commit : std::max(i.posting, i.pendingRow);
        if (k >= i.duplicateTest && k <= last + 1)
            s += "; " + crash::describe(i.key) + " left " + describe(i.stageAtKill(k));
    }
    return s;
}

}  // namespace crash
