// TCP connection functions: connect, exact sends and receives, and replies
// that end with a marker.  Failures throw a heap-allocated TCException.
#ifndef XRB_NET_TCPFNS_H
#define XRB_NET_TCPFNS_H

#include <netinet/in.h>

// Largest piece handed to one send() or recv() call.
constexpr int TCP_PIECE = 31744;

// A host is a name or a dotted IPv4 address, resolved as IPv4 first; failing
// that, an IPv6 address (plain, or in brackets: "[::1]") or a name with IPv6
// addresses only.  The address record has room for IPv4 only: for an IPv6
// server its address field is zero.
int Connect(char const* host, char const* port, char* record, long* recordLength, int attempts);
// The IPv6 address of a host text: "[address]" (a literal, zone allowed), a
// plain literal ("::1", "fe80::1%eth0") or a name.  False when there is
// none, a bracket is not closed or a zone is unknown.  Never traces, so the
// trace facility may use it for its collector.
bool resolveIPv6(char const* host, sockaddr_in6& out);
// Bounds every later wait on sock for its peer: a receive, or a send that
// waits for room, fails after seconds without progress (message XRBE-079,
// then XRBE-022).  0 or less: no bound.  Disconnect forgets the bound.
void setWaitLimit(int sock, int seconds);
// Non-zero when the last Recv or Send failed because its wait ran out.
int waitRanOut();
int Send(int sock, char const* buffer, int length);
// Sends first then second as one stream, so that a short header and its body
// can leave in one segment whatever the peer's acknowledgement timing.
int SendPair(int sock, char const* first, int firstLength, char const* second, int secondLength);
// One part of a stream that SendPieces sends.
struct SendPiece {
    char const* data;
    long long length;
};
// Sends the pieces in order as one stream (a packet's parts from several
// buffers, without first copying them together).
int SendPieces(int sock, SendPiece const* pieces, int count);
int Recv(int sock, char* buffer, int length, int timeout);
int Disconnect(int sock);
// Waits at most timeout seconds for data; non-zero when data may be read.
int waitTimeout(int sock, int timeout);
// Reads a reply up to the end marker "XRB#END" and its zero byte, storing at
// most bufferSize - 1 bytes; the buffer then holds the reply as a
// zero-terminated text and count the bytes received, marker included.
// Returns 0, or -1 when the peer closes, a read fails or the buffer fills
// before the marker arrives (the buffer then holds what arrived).
// Kept for completeness of the interface; the client does not call it.
int RecvAll(int sock, char* buffer, int* count, int bufferSize);
// The peer's address (dotted IPv4, or IPv6 text), always zero-terminated
// within size bytes ("" when unknown).
// Kept for completeness of the interface; the client does not call it.
char* getPeer(int sock, char* out, int size);

#endif
