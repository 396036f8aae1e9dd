#pragma once
// The resolver's calls into the OS, the platform's part (socket_io_posix.cpp, socket_io_win.cpp);
// the rules around them are written once, in socket_address.cpp. An address travels as a
// TSockAddr whose bytes only the platform reads. No OS header here.
#include <cstddef>
#include <string>
#include <vector>

#include "http/socket_io.h"

namespace http {

// A numeric IPv4 or IPv6 address, without brackets.
bool ParsesAsIPAddress(const std::string& Text);
// Every IPv4 and IPv6 address of Host for a TCP connection to Port, in the order the OS gives
// them. NumericHost: Host is an address, never a name to look up. Returns 0 or a Winsock number.
int LookUpAddresses(const std::string& Host, const std::string& Port, bool NumericHost, std::vector<TSockAddr>& Found);
// Fills Addr's IP and Port from its bytes.
void FillNumericForm(TSockAddr& Addr);
// The port of a TCP service name; -1 when the OS knows none.
int ServicePort(const std::string& Name);
// The local (Peer false) or remote address of a handle, its bytes only; false when it has none.
bool HandleSockAddr(int Fd, bool Peer, TSockAddr& Out);

// Appends the OS's address of Len bytes to Found; one larger than TSockAddr holds is passed over.
void AddFoundAddress(std::vector<TSockAddr>& Found, const void* Addr, size_t Len, bool IPv6);

}  // namespace http
