#pragma once
// Winsock error numbers and texts on every platform, and the translation of the host's own
// error numbers into them. No OS header here: callers pass the raw numbers.
#include <string>

namespace http {

// Every Winsock number the socket sets, tests or has a text for. The names avoid Winsock's own
// macro names, so this header can sit beside winsock2.h.
enum TWinsockCode : int {
    wsNoError = 0,
    wsInterrupted = 10004,
    wsBadFile = 10009,
    wsAccessDenied = 10013,
    wsBadAddress = 10014,
    wsInvalidArgument = 10022,
    wsTooManyFiles = 10024,
    wsWouldBlock = 10035,
    wsInProgress = 10036,
    wsAlreadyInProgress = 10037,
    wsNotSocket = 10038,
    wsDestAddrRequired = 10039,
    wsMessageSize = 10040,
    wsProtocolType = 10041,
    wsNoProtocolOption = 10042,
    wsProtocolNotSupported = 10043,
    wsSocketNotSupported = 10044,
    wsOperationNotSupported = 10045,
    wsProtocolFamilyNotSupported = 10046,
    wsAddressFamilyNotSupported = 10047,
    wsAddressInUse = 10048,
    wsAddressNotAvailable = 10049,
    wsNetworkDown = 10050,
    wsNetworkUnreachable = 10051,
    wsNetworkReset = 10052,
    wsConnectionAborted = 10053,  // also: the stop flag
    wsConnectionReset = 10054,    // also: the peer closed while data was awaited
    wsNoBufferSpace = 10055,      // also: a line or a reply head above its bound
    wsAlreadyConnected = 10056,
    wsNotConnected = 10057,
    wsShutdown = 10058,
    wsTooManyReferences = 10059,
    wsTimedOut = 10060,           // also: a transfer below the low-speed limit
    wsConnectionRefused = 10061,  // also: a CONNECT tunnel the proxy did not accept
    wsLoop = 10062,
    wsNameTooLong = 10063,
    wsHostDown = 10064,
    wsHostUnreachable = 10065,
    wsNotEmpty = 10066,
    wsTooManyProcesses = 10067,
    wsTooManyUsers = 10068,
    wsDiskQuota = 10069,
    wsStale = 10070,
    wsRemote = 10071,
    wsSystemNotReady = 10091,  // also: every TLS failure
    wsVersionNotSupported = 10092,
    wsNotInitialised = 10093,
    wsDisconnect = 10101,
    wsTypeNotFound = 10109,
    wsHostNotFound = 11001,
    wsTryAgain = 11002,
    wsNoRecovery = 11003,
    wsNoData = 11004,
};

// The fixed text of a Winsock error number; "Other Winsock error (N)" for any other number.
std::string WinsockErrorText(int Code);

// errno -> Winsock number (ECONNREFUSED -> 10061 ...). An errno without a Winsock twin comes
// back unchanged, so its report reads "Other Winsock error (errno)" instead of a wrong text.
int WinsockFromErrno(int Errno);
// getaddrinfo() result -> Winsock number (EAI_NONAME -> 11001 ...); EAI_SYSTEM uses Errno.
int WinsockFromResolver(int GaiError, int Errno);

}  // namespace http
