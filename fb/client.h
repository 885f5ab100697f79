#pragma once
// The Firebird client library's plain entry points that this layer calls; everything else is
// reached through the master interface. On Windows the client, fbclient.dll, is loaded when
// it is first needed (so the program starts, and says what is missing, without it); elsewhere
// it is linked with the program.
#include <firebird/Interface.h>

namespace fb {

// The client's master interface. Throws fb::ClientMissing, naming the library's file, when
// the client cannot be loaded or lacks the entry point.
Firebird::IMaster* clientMaster();

// The SQL code of a status vector (isc_sqlcode).
int clientSqlcode(const intptr_t* status);

}  // namespace fb
