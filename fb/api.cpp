#include "fb/api.h"

#include <vector>

#include "fb/client.h"

namespace fb {

Firebird::IMaster* master() {
    static Firebird::IMaster* m = clientMaster();
    return m;
}

Firebird::IUtil* util() {
    static Firebird::IUtil* u = master()->getUtilInterface();
    return u;
}

Firebird::IProvider* provider() {
    static Firebird::IProvider* p = master()->getDispatcher();
    return p;
}

Status::Status() : BaseStatusWrapper(master()->getStatus()) {}

Status::~Status() {
    status->dispose();
}

std::string formatStatus(Firebird::IStatus* status) {
    std::vector<char> buf(1024);
    for (;;) {
        unsigned n = util()->formatStatus(buf.data(), static_cast<unsigned>(buf.size()), status);
        if (n < buf.size() - 1 || buf.size() >= (1u << 20)) return std::string(buf.data(), n);
        buf.resize(buf.size() * 4);
    }
}

void Status::checkException(Status* s) {
    if (!s->dirty || !(s->getState() & Firebird::IStatus::STATE_ERRORS)) return;
    const intptr_t* errors = s->status->getErrors();
    std::vector<intptr_t> codes;
    for (const intptr_t* v = errors; v && *v != isc_arg_end;) {
        if (v[0] == isc_arg_gds) codes.push_back(v[1]);
        v += v[0] == isc_arg_cstring ? 3 : 2;  // a counted string carries its length too
    }
    std::string message = formatStatus(s->status);
    int sqlcode = clientSqlcode(errors);
    s->clearException();
    Error::raise(message, std::move(codes), sqlcode);
}

}  // namespace fb
