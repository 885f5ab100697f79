#include "fb/error.h"

#include <algorithm>

#include "fb/api.h"

namespace fb {

bool Error::has(intptr_t code) const {
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

bool Error::lockConflict() const {
    // A lock time-out arrives as isc_lock_timeout followed by isc_deadlock, an update conflict
    // as isc_deadlock with isc_update_conflict: any of them in the vector counts.
    for (intptr_t c : {isc_deadlock, isc_update_conflict, isc_lock_conflict, isc_lock_timeout})
        if (has(c)) return true;
    return false;
}

bool Error::lostConnection() const {
    for (intptr_t c : {isc_network_error, isc_net_read_err, isc_net_write_err, isc_conn_lost,
                       isc_lost_db_connection, isc_shutdown, isc_att_shutdown})
        if (has(c)) return true;
    return false;
}

}  // namespace fb
