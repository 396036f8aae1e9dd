#include "http/socket_faults.h"

#include <atomic>

namespace {
std::atomic<int> g_failRead{-1}, g_failWrite{-1}, g_code{10054};
std::atomic<int> g_reads{0}, g_writes{0};

int Take(std::atomic<int>& counter, std::atomic<int>& failAt) {
    const int n = ++counter;
    int expected = n;
    // Exchange so the fault fires once even if the counter is later reset to a lower value.
    if (failAt.load() == n && failAt.compare_exchange_strong(expected, -1)) return g_code.load();
    return 0;
}
}  // namespace

void SetSocketFault(int FailNthRead, int FailNthWrite, int ErrorCode) {
    g_reads = 0, g_writes = 0;
    g_code = ErrorCode;
    g_failRead = FailNthRead;
    g_failWrite = FailNthWrite;
}

void ClearSocketFault() { SetSocketFault(-1, -1); }
int SocketReadCount() { return g_reads.load(); }
int SocketWriteCount() { return g_writes.load(); }
int TakeSocketReadFault() { return Take(g_reads, g_failRead); }
int TakeSocketWriteFault() { return Take(g_writes, g_failWrite); }
