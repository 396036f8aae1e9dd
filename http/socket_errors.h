#pragma once
// Winsock error numbers and texts on every platform, and the translation of the host's own
// error numbers into them. No OS header here: callers pass the raw numbers.
#include <string>

// The fixed text of a Winsock error number; "Other Winsock error (N)" for any other number.
std::string WinsockErrorText(int Code);

// errno -> Winsock number (ECONNREFUSED -> 10061 ...). An errno without a Winsock twin comes
// back unchanged, so its report reads "Other Winsock error (errno)" instead of a wrong text.
int WinsockFromErrno(int Errno);
// getaddrinfo() result -> Winsock number (EAI_NONAME -> 11001 ...); EAI_SYSTEM uses Errno.
int WinsockFromResolver(int GaiError, int Errno);
