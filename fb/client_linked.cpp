// The client linked with the program: nothing to load, nothing that can be missing.
#include "fb/client.h"

namespace fb {

Firebird::IMaster* clientMaster() {
    return Firebird::fb_get_master_interface();
}

int clientSqlcode(const intptr_t* status) {
    return static_cast<int>(isc_sqlcode(status));
}

}  // namespace fb
