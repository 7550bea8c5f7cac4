// TCP connection functions: connect, exact sends and receives, and replies
// that end with a marker.  Failures throw a heap-allocated TCException.
#ifndef XRB_NET_TCPFNS_H
#define XRB_NET_TCPFNS_H

// Largest piece handed to one send() or recv() call.
constexpr int TCP_PIECE = 31744;

int Connect(char* host, char* port, char* record, long* recordLength, int attempts);
int Send(int sock, char* buffer, int length);
int Recv(int sock, char* buffer, int length, int timeout);
int Disconnect(int sock);
int waitTimeout(int sock, int timeout);
// Reads up to the end marker "XRB#END", at most bufferSize - 1 bytes.
int RecvAll(int sock, char* buffer, int* count, int bufferSize);
char* getPeer(int sock, char* out, int size);

#endif
