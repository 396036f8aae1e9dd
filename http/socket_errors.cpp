#include "http/socket_errors.h"

#include <string>

namespace http {

namespace {
struct TErrorText {
    int Code;
    const char* Text;
};

constexpr TErrorText kErrorTexts[] = {
    {wsInterrupted, "Interrupted system call"},
    {wsBadFile, "Bad file number"},
    {wsAccessDenied, "Permission denied"},
    {wsBadAddress, "Bad address"},
    {wsInvalidArgument, "Invalid argument"},
    {wsTooManyFiles, "Too many open files"},
    {wsWouldBlock, "Operation would block"},
    {wsInProgress, "Operation now in progress"},
    {wsAlreadyInProgress, "Operation already in progress"},
    {wsNotSocket, "Socket operation on nonsocket"},
    {wsDestAddrRequired, "Destination address required"},
    {wsMessageSize, "Message too long"},
    {wsProtocolType, "Protocol wrong type for Socket"},
    {wsNoProtocolOption, "Protocol not available"},
    {wsProtocolNotSupported, "Protocol not supported"},
    {wsSocketNotSupported, "Socket not supported"},
    {wsOperationNotSupported, "Operation not supported on Socket"},
    {wsProtocolFamilyNotSupported, "Protocol family not supported"},
    {wsAddressFamilyNotSupported, "Address family not supported"},
    {wsAddressInUse, "Address already in use"},
    {wsAddressNotAvailable, "Can't assign requested address"},
    {wsNetworkDown, "Network is down"},
    {wsNetworkUnreachable, "Network is unreachable"},
    {wsNetworkReset, "Network dropped connection on reset"},
    {wsConnectionAborted, "Software caused connection abort"},
    {wsConnectionReset, "Connection reset by peer"},
    {wsNoBufferSpace, "No Buffer space available"},
    {wsAlreadyConnected, "Socket is already connected"},
    {wsNotConnected, "Socket is not connected"},
    {wsShutdown, "Can't send after Socket shutdown"},
    {wsTooManyReferences, "Too many references:can't splice"},
    {wsTimedOut, "Connection timed out"},
    {wsConnectionRefused, "Connection refused"},
    {wsLoop, "Too many levels of symbolic links"},
    {wsNameTooLong, "File name is too long"},
    {wsHostDown, "Host is down"},
    {wsHostUnreachable, "No route to host"},
    {wsNotEmpty, "Directory is not empty"},
    {wsTooManyProcesses, "Too many processes"},
    {wsTooManyUsers, "Too many users"},
    {wsDiskQuota, "Disk quota exceeded"},
    {wsStale, "Stale NFS file handle"},
    {wsRemote, "Too many levels of remote in path"},
    {wsSystemNotReady, "Network subsystem is unusable"},
    {wsVersionNotSupported, "Winsock DLL cannot support this application"},
    {wsNotInitialised, "Winsock not initialized"},
    {wsDisconnect, "Disconnect"},
    {wsHostNotFound, "Host not found"},
    {wsTryAgain, "Non authoritative - host not found"},
    {wsNoRecovery, "Non recoverable error"},
    {wsNoData, "Valid name, no data record of requested type"},
};
}  // namespace

std::string WinsockErrorText(int Code) {
    for (const auto& e : kErrorTexts)
        if (e.Code == Code) return e.Text;
    return "Other Winsock error (" + std::to_string(Code) + ")";
}

}  // namespace http
