#include "tests/support/socket_faults.h"

#include <atomic>

#include "http/socket_io.h"

using namespace http;

namespace {
std::atomic<int> g_failRead{-1}, g_failWrite{-1}, g_code{10054};
std::atomic<int> g_reads{0}, g_writes{0};

// 0, or the error code that replaces this call's outcome.
int Take(std::atomic<int>& counter, std::atomic<int>& failAt) {
    const int n = ++counter;
    int expected = n;
    // Exchange so the fault fires once even if the counter is later reset to a lower value.
    if (failAt.load() == n && failAt.compare_exchange_strong(expected, -1)) return g_code.load();
    return 0;
}

class TFaultInjector final : public TSocketRawIO {
public:
    long Send(int Fd, const void* Buffer, size_t Len, int& Error) override {
        if (const int fault = Take(g_writes, g_failWrite)) {
            Error = fault;
            return -1;
        }
        return SystemSocketIO().Send(Fd, Buffer, Len, Error);
    }
    long Recv(int Fd, void* Buffer, size_t Len, int& Error) override {
        const long n = SystemSocketIO().Recv(Fd, Buffer, Len, Error);
        if (n < 0 && Error == wsWouldBlock) return n;  // nothing taken off the connection
        if (const int fault = Take(g_reads, g_failRead)) {
            Error = fault;
            return -1;
        }
        return n;
    }
};
}  // namespace

void SetSocketFault(int FailNthRead, int FailNthWrite, int ErrorCode) {
    static TFaultInjector injector;
    SetSocketRawIO(&injector);
    g_reads = 0, g_writes = 0;
    g_code = ErrorCode;
    g_failRead = FailNthRead;
    g_failWrite = FailNthWrite;
}

void ClearSocketFault() { SetSocketFault(-1, -1); }
int SocketReadCount() { return g_reads.load(); }
int SocketWriteCount() { return g_writes.load(); }
