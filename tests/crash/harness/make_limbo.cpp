// Leaves a transaction in limbo on purpose, as a run killed in the middle of its commit leaves
// it: one distributed transaction over the databases given, in their order (the company last,
// as the import orders its parts), one statement run in each, then the first PREPARED parts
// prepared with the coordinator's description of the whole (all of them: by the coordinator
// itself), the first COMMITTED of those committed, and the process killed with SIGKILL.
//
// Usage: make_limbo PREPARED COMMITTED USER PASSWORD DATABASE SQL [DATABASE SQL ...]
//   Exit status 2 on a bad command line, 1 when a database step fails (its text on standard
//   error); otherwise the process dies by SIGKILL.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fb/api.h"
#include "fb/statement.h"
#include "fb/transaction.h"

namespace {

// The description the coordinator writes (fb::TransactionDescription): version, host, then
// each part's database and transaction number as its own attachment answers for them.
std::string description(const std::vector<Firebird::ITransaction*>& parts) {
    std::string d = "\x01\x01";
    const std::string host = "make_limbo";
    d += static_cast<char>(host.size()) + host;
    for (Firebird::ITransaction* part : parts) {
        const unsigned char items[] = {fb_info_tra_dbpath, isc_info_tra_id, isc_info_end};
        std::vector<unsigned char> answer(32 * 1024);
        fb::Status st;
        part->getInfo(&st, sizeof items, items, static_cast<unsigned>(answer.size()),
                      answer.data());
        for (size_t at = 0; at + 3 <= answer.size() && answer[at] != isc_info_end;) {
            const size_t length = answer[at + 1] | (answer[at + 2] << 8);
            const std::string value(reinterpret_cast<const char*>(&answer[at + 3]), length);
            if (answer[at] == fb_info_tra_dbpath)
                d += '\x02' + std::string(1, char(length)) + value;
            if (answer[at] == isc_info_tra_id) d += '\x03' + std::string(1, char(length)) + value;
            at += 3 + length;
        }
    }
    return d;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7 || (argc - 5) % 2 != 0) {
        std::fputs("usage: make_limbo PREPARED COMMITTED USER PASSWORD DATABASE SQL ...\n", stderr);
        return 2;
    }
    const size_t prepared = std::strtoul(argv[1], nullptr, 10);
    const size_t committed = std::strtoul(argv[2], nullptr, 10);
    fb::AttachOptions o;
    o.user = argv[3];
    o.password = argv[4];
    try {
        std::vector<fb::Attachment> atts;
        std::vector<std::string> sql;
        for (int i = 5; i + 1 < argc; i += 2) {
            atts.emplace_back(argv[i], o);
            sql.push_back(argv[i + 1]);
        }
        if (prepared > atts.size() || committed > prepared) {
            std::fputs("make_limbo: more parts to prepare or commit than databases\n", stderr);
            return 2;
        }
        std::vector<fb::Transaction::Part> parts;
        for (const fb::Attachment& a : atts) parts.push_back({&a, fb::TransactionOptions{}});
        fb::Transaction tra = fb::Transaction::distributed(parts);
        std::vector<Firebird::ITransaction*> subs;
        for (size_t i = 0; i < atts.size(); ++i) {
            fb::Statement(atts[i], tra, sql[i], 3).execute(tra, {});
            fb::Status st;
            subs.push_back(tra.get()->validate(&st, atts[i].get()));
        }
        fb::Status st;
        if (prepared == atts.size()) {
            tra.get()->prepare(&st, 0, nullptr);
        } else {
            const std::string d = description(subs);
            for (size_t i = 0; i < prepared; ++i)
                subs[i]->prepare(&st, static_cast<unsigned>(d.size()),
                                 reinterpret_cast<const unsigned char*>(d.data()));
        }
        for (size_t i = 0; i < committed; ++i) subs[i]->commit(&st);
        // Killed here, before the transaction and the attachments are let go.
        std::fflush(nullptr);
        std::raise(SIGKILL);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_limbo: %s\n", e.what());
    }
    return 1;
}
