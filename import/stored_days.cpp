#include "import/stored_days.h"

#include "import/invoice_header.h"
#include "records/command.h"

namespace importer {

bool StoredDays::covers(const RunContext& context, data::Tfdm& fdm) const {
    return epoch_ != 0 && epoch_ == fdm.answersEpoch() && prefix_ == context.prefix &&
           from_ <= context.date && context.date <= to_;
}

std::optional<std::string> StoredDays::find(const RunContext& context, data::Tfdm& fdm,
                                            const InvoiceBuffers& buffers) {
    if (!covers(context, fdm)) {
        const uint64_t epoch = fdm.answersEpoch();
        const bool ahead = context.lastDate && context.date <= *context.lastDate &&
                           context.lastDate->toDayNumber() - context.date.toDayNumber() < kMaxDays;
        if (epoch == 0 || !ahead) return storedInvoiceId(context, buffers);
        records::Buffer& q = buffers.CBorrar;
        records::openCommand(
            q,
            "SELECT FACT_FECHA, FACT_ID FROM FACTURAS WHERE PREF_PRE = :PREF_PRE AND FACT_FECHA "
            "BETWEEN :DESDE AND :HASTA",
            records::values({{"PREF_PRE", fb::Value::ofText(context.prefix)},
                             {"DESDE", fb::Value::ofText(core::dateText(context.date))},
                             {"HASTA", fb::Value::ofText(core::dateText(*context.lastDate))}}));
        ids_.clear();
        for (q.First(); !q.Eof(); q.Next())
            ids_.emplace(q.Fields(0).asDate(), q.Fields(1).asString());
        q.Close();
        epoch_ = epoch;
        prefix_ = context.prefix;
        from_ = context.date;
        to_ = *context.lastDate;
    }
    auto it = ids_.find(context.date);
    // A day whose first invoice has no id holds none, as the test of the day alone says.
    if (it == ids_.end() || it->second.empty()) return std::nullopt;
    return it->second;
}

void StoredDays::stored(const RunContext& context, data::Tfdm& fdm, const std::string& id) {
    if (covers(context, fdm)) ids_[context.date] = id;
}

}  // namespace importer
