// Moving a whole file between the two ends as FileBulkPackets: the sending
// end reads the local file chunk by chunk and waits for one control packet
// after every chunk but the last; the receiving end asks for the file,
// writes each chunk and acknowledges it.  Where the local file lies and
// how it was opened is the caller's (protocol/filexfer.h).
#ifndef XRB_PROTOCOL_BULK_H
#define XRB_PROTOCOL_BULK_H

#include "protocol/filebulk.h"

// Sends the packet's open file in chunks of XRB_CHUNK bytes; returns
// normally when the receiver answers a chunk with COMM_FILE_ABORT.  Closes
// the file.  A packet without a file sends its own chunk, and only when its
// name ends with ".TXT".  XRBE-019 when the file cannot be read.
void sendBulk(int sock, FileBulkPacket& packet, int conversion);
// Asks the peer for the file named in the packet and writes what arrives
// into the packet's open file; the packet then holds the last chunk.
// Closes the file.  XRBE-055 when a chunk cannot be written (the peer is
// told with COMM_FILE_ABORT unless it was the last chunk).
void recvBulk(int sock, FileBulkPacket& packet, int conversion);

#endif
