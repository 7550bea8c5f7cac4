// File chunks.
#include "protocol/filebulk.h"

#include <cstring>
#include <new>

#include "base/tcexp.h"
#include "msg/msg.h"
#include "protocol/filexfer.h"
#include "protocol/wiremsg.h"
#include "trace/fhgtrace.h"

namespace {
int const TAG_NAME = 501;
int const TAG_DATA = 502;
int const TAG_LAST = 503;
} // namespace

FileBulkPacket::FileBulkPacket(char const* fileName, FILE* f)
    : Packet(PKT_FILEBULK), length(0), dataCapacity(0), lastChunk(0), file(f)
{
    name.set(fileName);
}

FileBulkPacket::FileBulkPacket(char const* fileName, unsigned long len, void const* bytes)
    : Packet(PKT_FILEBULK), length(0), dataCapacity(0), lastChunk(1), file(nullptr)
{
    name.set(fileName);
    if (len && bytes && len <= XMIT_MAX_BODY) {
        data.reset(new (std::nothrow) char[len]);
        if (data) {
            std::memcpy(data.get(), bytes, len);
            dataCapacity = len;
            length = static_cast<uint32_t>(len);
        }
    }
}

char* FileBulkPacket::reserveData(uint64_t size)
{
    if (size <= dataCapacity)
        return data.get();
    data.reset();
    dataCapacity = 0;
    data.reset(new (std::nothrow) char[size]);
    if (!data)
        throwNoMemory(size);
    dataCapacity = size;
    return data.get();
}

void FileBulkPacket::closeFile()
{
    if (file)
        std::fclose(file);
    file = nullptr;
}

void FileBulkPacket::buildXmit()
{
    XRB_TRACE_AT("xrbbld", "Length of file bulk packet = %d", static_cast<int>(length));
    xmitInit(PKT_FILEBULK);
    xmitAddText(TAG_NAME, name.text(), UNIT_NLSTEXT);
    xmitAddInt(TAG_LAST, lastChunk);
    xmitAddBytes(TAG_DATA, length, data.get());
    xmitAddEnd();
}

char const* FileBulkPacket::parseChunk(bool inPlace)
{
    char const* bytes = nullptr;
    // A chunk without a data unit carries no bytes; the last chunk's count
    // must not be written again.
    length = 0;
    UnitWalker walker = units();
    Unit u;
    while (walker.next(u)) {
        switch (u.tag) {
        case TAG_NAME: name.setBytes(u.data, u.length); break;
        case TAG_DATA:
            length = 0;
            if (inPlace) {
                bytes = reinterpret_cast<char const*>(u.data);
            } else {
                reserveData(u.length);
                if (u.length)
                    std::memcpy(data.get(), u.data, u.length);
                bytes = data.get();
            }
            length = u.length;
            break;
        case TAG_LAST: lastChunk = unitInt(u); break;
        default: break;
        }
    }
    return bytes;
}

void FileBulkPacket::writeFile()
{
    if (!file)
        return;
    size_t wrote = length ? std::fwrite(data.get(), 1, length, file) : 0;
    int rc = std::fclose(file);
    file = nullptr;
    if (wrote < length || rc != 0) {
        char const* plain = stripSuffix(name.text());
        throw new TCException(msgGet(XRBE_055_WRITE_FAILED, plain ? plain : ""));
    }
}

// This client runs on an ASCII host: text travels unchanged.
void FileBulkPacket::fixcrlf(unsigned) {}
void FileBulkPacket::Convert2ascii(int) {}
void FileBulkPacket::Convert2ebcdic(int) {}
