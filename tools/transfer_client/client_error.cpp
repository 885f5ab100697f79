#include "client_error.h"

namespace transfer_client {

int exit_code(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::BadArguments:
        case ErrorKind::UnreadableScript:
            return 1;
        case ErrorKind::NotUnderstood:
            return 2;
        case ErrorKind::Connection:
            return 3;
        case ErrorKind::Fingerprint:
            return 4;
        case ErrorKind::Login:
            return 5;
        case ErrorKind::NoMatch:
            return 6;
        case ErrorKind::Remote:
            return 7;
    }
    return 1;
}

}  // namespace transfer_client
