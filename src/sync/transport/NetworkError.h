#pragma once

#include "platform/Error.h"

namespace tessik::net {

// A failure of the network layer: a socket error, a refused connection, a
// discovery daemon that cannot be reached. The description is the system's
// or the daemon's own text.
class NetworkError : public Error {
public:
    using Error::Error;
};

} // namespace tessik::net
