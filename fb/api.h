#pragma once
// Entry points of the Firebird OO API and the status wrapper that turns a failed call into
// fb::Error. Only files of fb/ include the Firebird headers.
#include <firebird/Interface.h>

#include "fb/error.h"

namespace fb {

Firebird::IMaster* master();
Firebird::IUtil* util();
Firebird::IProvider* provider();

// Status wrapper for every API call: a call that fails throws fb::Error carrying the text that
// IUtil::formatStatus gives (lines joined by "\n").
class Status : public Firebird::BaseStatusWrapper<Status> {
  public:
    Status();
    ~Status();
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;

    static void checkException(Status* status);
};

// The message of a status vector, as formatStatus gives it.
std::string formatStatus(Firebird::IStatus* status);

}  // namespace fb
