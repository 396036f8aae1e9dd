#pragma once
// Test seam: make one receive or one send of any socket in the process fail, so a test can
// break an exchange at every point in turn.
//
// What is counted, process-wide, from the last SetSocketFault call on:
// - a read is one block that the socket's raw receive step took off the connection (bytes,
//   end of stream or an error; an attempt that found nothing waiting is not counted). With
//   TLS on, a read is one block of decrypted data; the handshake is not counted.
// - a write is one piece of at most SendMaxChunk bytes of a send.
// The Nth read (1-based) is discarded and fails with ErrorCode instead; the Nth write is not
// sent and fails with ErrorCode. -1 leaves that direction alone. Each fault fires once.
// How many reads an exchange takes depends on how the peer's bytes arrive; run the exchange
// once with faults off and read SocketReadCount()/SocketWriteCount() to learn the range.
//
// Not meant for concurrent tests: the counters are shared by every socket in the process.
void SetSocketFault(int FailNthRead, int FailNthWrite, int ErrorCode = 10054);
void ClearSocketFault();  // SetSocketFault(-1, -1), counters back to 0
int SocketReadCount();
int SocketWriteCount();

// Used by the socket: counts one read / write; 0, or the error code that replaces it.
int TakeSocketReadFault();
int TakeSocketWriteFault();
