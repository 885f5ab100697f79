#pragma once
// Lock conflicts with other users of the ERP's databases (an update conflict, a deadlock, a
// lock wait that timed out) end a transaction without anything being wrong with what it
// sends: the whole transaction is tried again, a few times, after a short growing pause.
#include "fb/error.h"
#include "platform/env.h"

namespace importer {

inline constexpr int kLockAttempts = 4;        // the first try and three more
inline constexpr int kFirstLockPauseMs = 250;  // then 500 and 1000

// Calls `attempt` until it returns, again after each lock conflict, at most kLockAttempts
// times, pausing through `env`; the conflict of the last try is thrown. `attempt` must leave
// nothing behind when it throws (its transaction rolled back), so that the next try starts
// afresh.
template <typename F>
decltype(auto) retryLockConflicts(platform::Env& env, F&& attempt) {
    for (int n = 1;; ++n) {
        try {
            return attempt();
        } catch (const fb::LockConflict&) {
            if (n == kLockAttempts) throw;
        }
        env.sleepMs(kFirstLockPauseMs << (n - 1));
    }
}

}  // namespace importer
