#pragma once

#include <stdexcept>
#include <string>

namespace transfer_client {

// What went wrong, coarse enough to choose the exit code from.
enum class ErrorKind {
    BadArguments,      // the command line is not one this client accepts
    UnreadableScript,  // the script file cannot be read
    NotUnderstood,     // a script line this client does not understand
    Connection,        // the server cannot be reached or the TLS handshake failed
    Fingerprint,       // the server's certificate is not the one the script names
    Login,             // the server refused the account name or password
    NoMatch,           // a file mask of rm matches no remote file
    Remote,            // listing the folder or deleting a file failed
};

class ClientError : public std::runtime_error {
  public:
    ClientError(ErrorKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}

    ErrorKind kind() const { return kind_; }

  private:
    ErrorKind kind_;
};

// The process exit code for a failure of this kind; 0 is kept for success.
int exit_code(ErrorKind kind);

}  // namespace transfer_client
