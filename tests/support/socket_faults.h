#pragma once
// Makes one receive or one send of any socket in the process fail, so a test can break an
// exchange at every point in turn. It sits in the sockets' raw I/O (see fault_injection.md);
// the first call below installs it for the rest of the process.
//
// What is counted, process-wide, from the last SetSocketFault call on:
// - a read is one raw receive that took something off the connection (bytes, end of stream or
//   an error; an attempt that found nothing waiting is not counted);
// - a write is one raw send that moved bytes or failed.
// With TLS on, these are the encrypted records' reads and writes, the handshake's included.
// The Nth read (1-based) is discarded and fails with ErrorCode instead; the Nth write is not
// sent and fails with ErrorCode. -1 leaves that direction alone. Each fault fires once.
//
// Not meant for concurrent tests: the counters are shared by every socket in the process.
void SetSocketFault(int FailNthRead, int FailNthWrite, int ErrorCode = 10054);
void ClearSocketFault();  // SetSocketFault(-1, -1): counting only, counters back to 0
int SocketReadCount();
int SocketWriteCount();
