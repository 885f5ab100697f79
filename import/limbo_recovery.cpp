#include "import/limbo_recovery.h"

#include <optional>
#include <utility>

#include "core/text.h"
#include "data/texts.h"
#include "fb/transaction_description.h"
#include "import/lock_retry.h"
#include "platform/system.h"

namespace importer {
namespace {

namespace texts = data::texts;

// RDB$TRANSACTIONS.RDB$TRANSACTION_STATE.
constexpr int64_t kInLimbo = 1;
constexpr int64_t kCommitted = 2;
constexpr int64_t kRolledBack = 3;

const char kInLimboSql[] =
    "SELECT RDB$TRANSACTION_ID, RDB$TRANSACTION_DESCRIPTION FROM RDB$TRANSACTIONS "
    "WHERE RDB$TRANSACTION_STATE = 1";
const char kStateSql[] =
    "SELECT RDB$TRANSACTION_STATE FROM RDB$TRANSACTIONS WHERE RDB$TRANSACTION_ID = ?";

// One database the run reaches now, with the name descriptions give it (asked when needed).
struct Database {
    fb::Connection* connection;
    std::optional<std::string> name;

    const std::string& descriptionName() {
        if (!name) name = connection->descriptionName();
        return *name;
    }
};

PartState stateOf(fb::Connection& c, int64_t id) {
    const fb::Table t = c.read(kStateSql, {fb::Value::ofInt(id)});
    if (t.rows.empty() || t.rows[0][0].isNull()) return PartState::Missing;
    switch (t.rows[0][0].integer) {
        case kInLimbo:
            return PartState::Prepared;
        case kCommitted:
            return PartState::Committed;
        case kRolledBack:
            return PartState::RolledBack;
        default:
            return PartState::Unknown;
    }
}

// Taken-over parts that must not be rolled back by accident: whatever is not committed or
// rolled back on purpose is let go, and stays in limbo.
class TakenParts {
  public:
    ~TakenParts() {
        for (fb::Transaction& t : parts_) t.release();
    }
    std::vector<fb::Transaction>& parts() { return parts_; }

  private:
    std::vector<fb::Transaction> parts_;
};

// Each part, those out of reach marked: they stay in limbo until a run reaches them.
std::string describeParts(const fb::TransactionDescription& d,
                          const std::vector<PartState>& states) {
    std::string s;
    for (size_t i = 0; i < d.parts.size(); ++i) {
        if (!s.empty()) s += ", ";
        s += d.parts[i].database + texts::kLimboTransaccion + std::to_string(d.parts[i].id);
        if (states[i] == PartState::Unknown) s += texts::kLimboFueraDeAlcance;
        s += ")";
    }
    return s;
}

}  // namespace

Resolution resolve(const std::vector<PartState>& parts) {
    int lastPrepared = -1;
    for (size_t i = 0; i < parts.size(); ++i)
        if (parts[i] == PartState::Prepared) lastPrepared = static_cast<int>(i);
    bool committed = false, rolledBack = false, unknownAfter = false;
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool beforeLastPrepared = static_cast<int>(i) < lastPrepared;
        switch (parts[i]) {
            case PartState::Prepared:
                break;
            case PartState::Committed:
                committed = true;
                break;
            case PartState::RolledBack:
                rolledBack = true;
                break;
            case PartState::Missing:
                (beforeLastPrepared ? committed : rolledBack) = true;
                break;
            case PartState::Unknown:
                if (!beforeLastPrepared) unknownAfter = true;
                break;
        }
    }
    if (committed && rolledBack) return Resolution::Contradictory;
    if (committed) return Resolution::Commit;
    if (rolledBack) return Resolution::Rollback;
    if (unknownAfter) return Resolution::Undecided;
    return Resolution::Commit;
}

LimboRecovery::LimboRecovery(data::Tfdm& fdm, records::Buffer& branchRows,
                             BranchConnections& branches, Mode mode, platform::Env& env)
    : fdm_(fdm), branchRows_(branchRows), branches_(branches), mode_(mode), env_(env) {}

std::vector<LimboOutcome> LimboRecovery::enterCompany() {
    std::vector<Database> dbs{{&fdm_.Quorvan, std::nullopt}};
    records::Buffer& rows = branchRows_;
    rows.Close();
    rows.Open();
    std::set<std::string> named;
    for (rows.First(); !rows.Eof(); rows.Next()) {
        if (core::trimBlanks(rows.FieldByName("RPVE_COD").asString()).empty()) continue;
        const std::string database = branchDatabase(rows);
        if (!named.insert(database).second) continue;
        BranchConnections::Branch& b = branches_.reach(database);
        if (b.reached) dbs.push_back({&b.connection, std::nullopt});
    }

    std::vector<LimboOutcome> outcomes;
    std::set<std::pair<size_t, int64_t>> seen;  // database and transaction, handled already
    for (size_t d = 0; d < dbs.size(); ++d) {
        const fb::Table limbo = dbs[d].connection->read(kInLimboSql);
        for (const std::vector<fb::Value>& row : limbo.rows) {
            if (seen.count({d, row[0].integer})) continue;
            const std::optional<fb::TransactionDescription> description =
                fb::parseTransactionDescription(row[1].text);
            if (!description) continue;  // no description of the coordinator's: not ours
            bool ours = false;
            for (const auto& p : description->parts)
                ours = ours || p.database == dbs[0].descriptionName();
            if (!ours) continue;  // another company's, or another program's

            // Where each part is, and its state there.
            std::vector<PartState> states;
            std::vector<std::pair<size_t, int64_t>> prepared;
            for (const auto& p : description->parts) {
                std::optional<size_t> at;
                for (size_t k = 0; k < dbs.size() && !at; ++k)
                    if (dbs[k].descriptionName() == p.database) at = k;
                if (!at) {
                    states.push_back(PartState::Unknown);
                    continue;
                }
                seen.insert({*at, p.id});
                states.push_back(stateOf(*dbs[*at].connection, p.id));
                if (states.back() == PartState::Prepared) prepared.push_back({*at, p.id});
            }
            if (prepared.empty()) continue;  // resolved meanwhile by someone else

            LimboOutcome o;
            const Resolution r = resolve(states);
            switch (r) {
                case Resolution::Commit:
                    o.action = LimboOutcome::Action::Committed;
                    o.text = texts::kLimboConfirmada;
                    break;
                case Resolution::Rollback:
                    o.action = LimboOutcome::Action::RolledBack;
                    o.text = texts::kLimboDeshecha;
                    break;
                case Resolution::Undecided:
                    o.text = texts::kLimboPendiente;
                    break;
                case Resolution::Contradictory:
                    o.text = texts::kLimboContradictoria;
                    o.attention = true;
                    break;
            }
            o.text += describeParts(*description, states);
            if (mode_ == Mode::Resolve && (r == Resolution::Commit || r == Resolution::Rollback)) {
                // Every prepared part reached is taken over before any is resolved. One held
                // by a live attachment belongs to a commit still under way, or to a client
                // that died a moment ago and whose server has not let go of it yet: it is
                // waited for as a lock would be, then left to a later run.
                TakenParts taken;
                bool held = false;
                for (const auto& [k, id] : prepared) {
                    for (int attempt = 1;; ++attempt) {
                        try {
                            taken.parts().push_back(dbs[k].connection->reconnect(id));
                            break;
                        } catch (const fb::Error& e) {
                            if (e.lostConnection()) throw;
                            if (attempt == kLockAttempts) {
                                held = true;
                                break;
                            }
                        }
                        env_.sleepMs(kFirstLockPauseMs << (attempt - 1));
                    }
                    if (held) break;
                }
                if (held) {
                    o.action = LimboOutcome::Action::Left;
                    o.text = texts::kLimboPendiente + describeParts(*description, states);
                } else {
                    for (fb::Transaction& t : taken.parts()) {
                        if (r == Resolution::Commit)
                            t.commit();
                        else
                            t.rollback();
                    }
                }
            }
            outcomes.push_back(std::move(o));
        }
    }
    return outcomes;
}

void LimboRecovery::endRun() noexcept {
    branches_.closeAll();
}

}  // namespace importer
