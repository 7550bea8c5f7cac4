// FileBulkPacket: one chunk of a file.  Moving a whole file as chunks is
// protocol/bulk.h.
#ifndef XRB_PROTOCOL_FILEBULK_H
#define XRB_PROTOCOL_FILEBULK_H

#include "protocol/ownedtext.h"
#include "protocol/packet.h"
#include <cstdint>
#include <cstdio>
#include <memory>

class FileBulkPacket : public Packet {
public:
    // A file opened with openFile4Read or openFile4Write, for sendBulk,
    // recvBulk or writeFile.
    FileBulkPacket(char const* name, FILE* file);
    // A single (last) chunk from memory.
    FileBulkPacket(char const* name, unsigned long length, void const* data);
    ~FileBulkPacket() {} // does not close the file

    // Writes the current chunk to the file and closes it.
    void writeFile();

    // The chunk's bytes leave from the packet's own block, not copied into
    // the transmit buffer, unless the body is enciphered.
    void buildXmit() override;
    void parse() override { parseChunk(false); }
    // Reads the received units; the chunk's bytes are copied into the
    // packet's block, or with inPlace left in the transmit buffer.  Returns
    // where they are.
    char const* parseChunk(bool inPlace);

    // Text hooks; an ASCII host leaves the data unchanged.
    void fixcrlf(unsigned direction);
    void Convert2ascii(int conversion);
    void Convert2ebcdic(int conversion);

    // The packet's block, with room for size bytes (XRBE-057 when it cannot
    // be had); the chunk to send is put there.
    char* reserveData(uint64_t size);
    void set_chunk(uint32_t chunkLength, int last)
    {
        length = chunkLength;
        lastChunk = last;
    }
    FILE* get_file() const { return file; }
    // The file, which the packet then no longer holds.
    FILE* takeFile()
    {
        FILE* f = file;
        file = nullptr;
        return f;
    }
    void closeFile();

    uint32_t get_length() const { return length; }
    char* get_name() { return name.get(); }
    char const* get_data() const { return data.get(); }
    int get_lastChunk() const { return lastChunk; }

private:
    OwnedText name;
    uint32_t length;
    std::unique_ptr<char[]> data;
    uint64_t dataCapacity;
    int lastChunk;
    FILE* file;
};

#endif
