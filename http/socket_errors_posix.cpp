#include "http/socket_errors.h"

#include <netdb.h>

#include <cerrno>

namespace http {

int WinsockFromErrno(int Errno) {
    switch (Errno) {
    case 0: return 0;
    case EINTR: return wsInterrupted;
    case EBADF: return wsBadFile;
    case EACCES:
    case EPERM: return wsAccessDenied;
    case EFAULT: return wsBadAddress;
    case EINVAL: return wsInvalidArgument;
    case EMFILE:
    case ENFILE: return wsTooManyFiles;
    case EAGAIN: return wsWouldBlock;  // EWOULDBLOCK is the same number on Linux
    case EINPROGRESS: return wsInProgress;
    case EALREADY: return wsAlreadyInProgress;
    case ENOTSOCK: return wsNotSocket;
    case EDESTADDRREQ: return wsDestAddrRequired;
    case EMSGSIZE: return wsMessageSize;
    case EPROTOTYPE: return wsProtocolType;
    case ENOPROTOOPT: return wsNoProtocolOption;
    case EPROTONOSUPPORT: return wsProtocolNotSupported;
    case ESOCKTNOSUPPORT: return wsSocketNotSupported;
    case EOPNOTSUPP: return wsOperationNotSupported;
    case EPFNOSUPPORT: return wsProtocolFamilyNotSupported;
    case EAFNOSUPPORT: return wsAddressFamilyNotSupported;
    case EADDRINUSE: return wsAddressInUse;
    case EADDRNOTAVAIL: return wsAddressNotAvailable;
    case ENETDOWN: return wsNetworkDown;
    case ENETUNREACH: return wsNetworkUnreachable;
    case ENETRESET: return wsNetworkReset;
    case ECONNABORTED: return wsConnectionAborted;
    case ECONNRESET:
    case EPIPE: return wsConnectionReset;
    case ENOBUFS:
    case ENOMEM: return wsNoBufferSpace;
    case EISCONN: return wsAlreadyConnected;
    case ENOTCONN: return wsNotConnected;
    case ESHUTDOWN: return wsShutdown;
    case ETOOMANYREFS: return wsTooManyReferences;
    case ETIMEDOUT: return wsTimedOut;
    case ECONNREFUSED: return wsConnectionRefused;
    case ELOOP: return wsLoop;
    case ENAMETOOLONG: return wsNameTooLong;
    case EHOSTDOWN: return wsHostDown;
    case EHOSTUNREACH: return wsHostUnreachable;
    case ENOTEMPTY: return wsNotEmpty;
    case EUSERS: return wsTooManyUsers;
    case EDQUOT: return wsDiskQuota;
    case ESTALE: return wsStale;
    case EREMOTE: return wsRemote;
    default: return Errno;
    }
}

int WinsockFromResolver(int GaiError, int Errno) {
    switch (GaiError) {
    case 0: return 0;
    case EAI_NONAME: return wsHostNotFound;
    case EAI_AGAIN: return wsTryAgain;
    case EAI_FAIL: return wsNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA: return wsNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return wsNoData;
#endif
    case EAI_FAMILY: return wsAddressFamilyNotSupported;
    case EAI_MEMORY: return wsNoBufferSpace;
    case EAI_SERVICE: return wsTypeNotFound;  // WSATYPE_NOT_FOUND: the port is no known service name
    case EAI_SYSTEM: return WinsockFromErrno(Errno);
    default: return wsNoRecovery;
    }
}

}  // namespace http
