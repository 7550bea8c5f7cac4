// TCP connection functions: connect, exact sends and receives, and replies
// that end with a marker.  Failures throw a heap-allocated TCException.
#ifndef XRB_NET_TCPFNS_H
#define XRB_NET_TCPFNS_H

// Largest piece handed to one send() or recv() call.
constexpr int TCP_PIECE = 31744;

int Connect(const char* host, const char* port, char* record, long* recordLength, int attempts);
int Send(int sock, const char* buffer, int length);
// Sends first then second as one stream, so that a short header and its body
// can leave in one segment whatever the peer's acknowledgement timing.
int SendPair(int sock, const char* first, int firstLength, const char* second, int secondLength);
int Recv(int sock, char* buffer, int length, int timeout);
int Disconnect(int sock);
// Waits at most timeout seconds for data; non-zero when data may be read.
int waitTimeout(int sock, int timeout);
// Reads a reply up to the end marker "XRB#END" and its zero byte, storing at
// most bufferSize - 1 bytes; the buffer then holds the reply as a
// zero-terminated text and count the bytes received, marker included.
// Returns 0, or -1 when the peer closes, a read fails or the buffer fills
// before the marker arrives (the buffer then holds what arrived).
int RecvAll(int sock, char* buffer, int* count, int bufferSize);
// The peer's dotted IPv4 address, always zero-terminated within size bytes
// ("" when unknown).
char* getPeer(int sock, char* out, int size);

#endif
