#include "fb/error.h"

#include <algorithm>
#include <span>

#include "fb/api.h"

namespace fb {
namespace {

bool hasAny(const std::vector<intptr_t>& codes, std::span<const intptr_t> wanted) {
    return std::ranges::any_of(
        codes, [&](intptr_t c) { return std::ranges::find(wanted, c) != wanted.end(); });
}

// A lock time-out arrives as isc_lock_timeout followed by isc_deadlock, an update conflict
// as isc_deadlock with isc_update_conflict: any of them in the vector counts.
constexpr intptr_t kLockCodes[] = {isc_deadlock, isc_update_conflict, isc_lock_conflict,
                                   isc_lock_timeout};
constexpr intptr_t kLostCodes[] = {isc_network_error, isc_net_read_err,       isc_net_write_err,
                                   isc_conn_lost,     isc_lost_db_connection, isc_shutdown,
                                   isc_att_shutdown};
// A unique index of no constraint reports isc_no_dup with the index's name.
constexpr intptr_t kUniqueCodes[] = {isc_unique_key_violation, isc_no_dup};
// Preparing a statement reports isc_dsql_error first and the missing object's code after it;
// the codes of DDL name the object in their own words.
constexpr intptr_t kUnknownCodes[] = {isc_dsql_relation_err,    isc_dsql_procedure_err,
                                      isc_dsql_field_err,       isc_dsql_function_err,
                                      isc_dsql_table_not_found, isc_dsql_view_not_found,
                                      isc_dsql_domain_not_found};

}  // namespace

bool Error::has(intptr_t code) const {
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

bool Error::lockConflict() const {
    return hasAny(codes_, kLockCodes);
}

bool Error::lostConnection() const {
    return hasAny(codes_, kLostCodes);
}

ErrorKind Error::kindOf(const std::vector<intptr_t>& codes) {
    if (hasAny(codes, kLostCodes)) return ErrorKind::LostConnection;
    if (hasAny(codes, kLockCodes)) return ErrorKind::LockConflict;
    if (hasAny(codes, kUniqueCodes)) return ErrorKind::UniqueKey;
    if (std::ranges::find(codes, isc_foreign_key) != codes.end()) return ErrorKind::ForeignKey;
    if (hasAny(codes, kUnknownCodes)) return ErrorKind::UnknownObject;
    return ErrorKind::Other;
}

void Error::raise(const std::string& message, std::vector<intptr_t> codes, int sqlcode) {
    const ErrorKind kind = kindOf(codes);
    raise(kind, message, std::move(codes), sqlcode);
}

void Error::raise(ErrorKind kind, const std::string& message, std::vector<intptr_t> codes,
                  int sqlcode) {
    switch (kind) {
        case ErrorKind::UniqueKey:
            throw UniqueKeyViolation(message, std::move(codes), sqlcode);
        case ErrorKind::ForeignKey:
            throw ForeignKeyViolation(message, std::move(codes), sqlcode);
        case ErrorKind::LockConflict:
            throw LockConflict(message, std::move(codes), sqlcode);
        case ErrorKind::UnknownObject:
            throw UnknownObject(message, std::move(codes), sqlcode);
        case ErrorKind::LostConnection:
            throw LostConnection(message, std::move(codes), sqlcode);
        case ErrorKind::InDoubt:
            throw InDoubt(message, std::move(codes), sqlcode);
        case ErrorKind::Other:
            break;
    }
    throw Error(message, std::move(codes), sqlcode);
}

void Error::rethrowWithPrefix(const std::string& prefix) const {
    raise(kind(), prefix + what(), codes_, sqlcode_);
}

bool UniqueKeyViolation::constraintNamed() const {
    return has(isc_unique_key_violation);
}

}  // namespace fb
