// FileBulkPacket: one chunk of a file, and the two procedures that move a
// whole file as chunks with one acknowledgement per chunk.
#ifndef XRB_PROTOCOL_FILEBULK_H
#define XRB_PROTOCOL_FILEBULK_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include "protocol/ownedtext.h"
#include "protocol/packet.h"

class FileBulkPacket : public Packet {
public:
    // A file opened with openFile4Read or openFile4Write.
    FileBulkPacket(const char* name, FILE* file);
    // A single (last) chunk from memory.
    FileBulkPacket(const char* name, unsigned long length, const void* data);
    ~FileBulkPacket() {}   // does not close the file

    // Sends the open file in chunks; returns normally when the receiver
    // answers a chunk with COMM_FILE_ABORT.  Closes the file.
    void sendBulk(int sock, int conversion);
    // Asks the peer for the file by its name and writes what arrives into
    // the open file.  Closes the file.
    void recvBulk(int sock, int conversion);
    // Writes the current chunk to the file and closes it.
    void writeFile();

    void buildXmit();
    int send(int sock, int encipher);
    void parse();

    // Text hooks; an ASCII host leaves the data unchanged.
    void fixcrlf(unsigned direction);
    void Convert2ascii(int conversion);
    void Convert2ebcdic(int conversion);

    uint32_t get_length() const { return length; }
    char* get_name() { return name.get(); }
    const char* get_data() const { return data.get(); }
    int get_lastChunk() const { return lastChunk; }

private:
    void reserveData(uint64_t size);
    // Reads the units; the chunk's bytes are copied into data, or with
    // inPlace left in the packet buffer.  Returns where they are.
    const char* parseUnits(bool inPlace);
    void closeFile();

    OwnedText name;
    uint32_t length;
    std::unique_ptr<char[]> data;
    uint64_t dataCapacity;
    int lastChunk;
    FILE* file;
};

#endif
