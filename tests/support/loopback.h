#pragma once
// Loopback addresses for test servers and probes: the one place that fills a sockaddr.

// Binds Fd to 127.0.0.1 (::1 with Ipv6) on a port the system chooses; returns that port,
// 0 when the bind fails.
int BindToLoopback(int Fd, bool Ipv6 = false);
// Connects Fd to 127.0.0.1:Port; true when the connection was made.
bool ConnectToLoopback(int Fd, int Port);
