#include "http/socket_errors.h"

namespace http {

// Windows sockets report Winsock numbers already, and getaddrinfo's results are Winsock
// numbers too (EAI_NONAME is WSAHOST_NOT_FOUND): nothing to translate.
int WinsockFromErrno(int Errno) { return Errno; }

int WinsockFromResolver(int GaiError, int) { return GaiError; }

}  // namespace http
