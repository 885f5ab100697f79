#pragma once
// One invoice's whole work on the server as one statement: an EXECUTE BLOCK that draws the id
// (in an autonomous transaction, so that it is used up whatever becomes of the invoice, as a
// drawn id always is), takes the prefix's lock, tests again for an invoice of the day,
// inserts the header and its lines, runs the totals procedure and the posting, and answers
// how it ended and with which id. The header's and lines' values are its parameters, each
// declared TYPE OF COLUMN so that they pass as the columns take them; its text depends only
// on the number of lines, so that it is built once per line count and prepared once per
// connection. Over a slow link this is one round trip where the statements take one each.
//
// Whatever fails inside the block after the id is drawn is caught and answered as Failed,
// with the id: the caller rolls its transaction back (nothing written by the block stays) and
// stores the invoice statement by statement with that id, so that the failure is told, and a
// lock conflict retried, exactly as it is on that path.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "data/fdm.h"
#include "fb/transaction.h"
#include "import/run_context.h"
#include "import/window_buffers.h"

namespace importer {

enum class BlockOutcome {
    Stored = 0,       // every row written, totalled and posted; commit the transaction
    Duplicate = 1,    // an invoice of the prefix and day was stored meanwhile; nothing written
    Failed = 2,       // a statement failed after the id was drawn
    NoInterface = 3,  // the prefix has no sales interface: the posting statement is refused
    BranchRows = 4,   // presumed without copies, a branch row may ask for one; nothing done
};

struct BlockAnswer {
    BlockOutcome outcome = BlockOutcome::Failed;
    int64_t id = 0;  // the id drawn; 0: none was
};

// The blocks of one run of invoices on one company connection: their texts by line count,
// what the posting procedure answers with, and the shapes the database would not prepare.
class InvoiceBlocks {
  public:
    // Whether the invoice pending in the buffers (lines included) can go as one block on
    // the company connection: the posting answers with integer columns, the block's
    // parameters stay within the statement's limit, and its shape has not failed to prepare.
    bool fits(data::Tfdm& fdm, const InvoiceBuffers& buffers);
    // Runs the block for the pending invoice in `tra` (which holds nothing of it yet). The
    // buffer's id column is not read: the block draws the id. None when the database refused
    // to prepare the block (the shape is then not tried again on this connection). A failure
    // before the id is drawn (the connection lost, a lock conflict on the draw) is thrown.
    // With `noBranchRows` (the copies presumed, InvoiceReplication::presumeNoCopies) the block
    // first looks in its transaction for a branch row of the invoice's prefix and point of
    // sale, and answers BranchRows, having done nothing, when there is one.
    std::optional<BlockAnswer> run(const RunContext& context, data::Tfdm& fdm,
                                   const InvoiceBuffers& buffers, const fb::Transaction& tra,
                                   bool noBranchRows = false);
    // Prepares the block in `tra` without running it (a check). False when the database
    // refuses to prepare it: the invoice would be stored statement by statement.
    bool prepare(data::Tfdm& fdm, const InvoiceBuffers& buffers, const fb::Transaction& tra);

    // Statement's limit on input parameters.
    static constexpr size_t kMaxParams = 32767;
    // A statement names at most this many tables, views and procedures (its contexts): the
    // block names seven of its own (the branch rows, the two locks, the duplicate test, the
    // interface and its MAX, the posting) and one for each row it inserts, so that an invoice
    // of more than 248 lines does not prepare.
    static constexpr size_t kMaxContexts = 256;
    static constexpr size_t kOwnContexts = 7;

  private:
    struct Posting {
        std::string state, entry;  // the quoted names of the first and third columns
        bool integers = false;
    };
    const Posting& posting(data::Tfdm& fdm);
    const std::string& text(data::Tfdm& fdm, const InvoiceBuffers& buffers);
    void forgetOtherConnections(data::Tfdm& fdm);

    uint64_t connection_ = 0;  // the openCount the cached knowledge is of
    std::optional<Posting> posting_;
    std::map<size_t, std::string> texts_;  // by line count
    std::map<size_t, bool> unprepared_;    // line counts the database refused to prepare
};

}  // namespace importer
