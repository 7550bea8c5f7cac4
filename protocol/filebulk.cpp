// File chunks and the chunked transfer with one acknowledgement per chunk.
#include "protocol/filebulk.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "base/tcexp.h"
#include "base/wholeio.h"
#include "msg/msg.h"
#include "net/tcpfns.h"
#include "protocol/commpacket.h"
#include "protocol/filexfer.h"
#include "protocol/progress.h"
#include "protocol/reader.h"
#include "protocol/wiremsg.h"
#include "trace/fhgtrace.h"

#define TRACE(...) XRB_TRACE_AT("xrbbld", __VA_ARGS__)

namespace {
const int TAG_NAME = 501;
const int TAG_DATA = 502;
const int TAG_LAST = 503;

// Writes n bytes to fd; returns how many were written before a failure.
size_t writeWhole(int fd, const char* bytes, size_t n) {
    return moveWhole(n, [&](size_t at, size_t left) { return ::write(fd, bytes + at, left); });
}

const char* plainName(const char* travelling) {
    const char* s = stripSuffix(travelling);
    return s ? s : "";
}
}  // namespace

FileBulkPacket::FileBulkPacket(const char* fileName, FILE* f)
    : length(0), dataCapacity(0), lastChunk(0), file(f) {
    name.set(fileName);
}

FileBulkPacket::FileBulkPacket(const char* fileName, unsigned long len, const void* bytes)
    : length(0), dataCapacity(0), lastChunk(1), file(nullptr) {
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

void FileBulkPacket::reserveData(uint64_t size) {
    if (size <= dataCapacity)
        return;
    data.reset();
    dataCapacity = 0;
    data.reset(new (std::nothrow) char[size]);
    if (!data)
        throwNoMemory(size);
    dataCapacity = size;
}

void FileBulkPacket::closeFile() {
    if (file)
        std::fclose(file);
    file = nullptr;
}

void FileBulkPacket::buildXmit() {
    xmitInit(PKT_FILEBULK);
    xmitAddText(TAG_NAME, name.text(), UNIT_NLSTEXT);
    xmitAddInt(TAG_LAST, lastChunk);
    xmitAddUnit(TAG_DATA, length, data.get(), UNIT_BINARY);
    xmitAddEnd();
}

int FileBulkPacket::send(int sock, int encipherBody) {
    TRACE("Length of file bulk packet = %d", static_cast<int>(length));
    uint64_t padded = (uint64_t(length) + 7) / 8 * 8;
    if (encipherBody || length == 0 || !data || padded + 4096 > XMIT_MAX_BODY) {
        buildXmit();
        int rc = Packet::send(sock, encipherBody);
        resetXmitBuf();
        return rc;
    }
    // The same bytes as buildXmit and Packet::send, but the chunk goes out
    // from the chunk buffer: only the units around it are built, so a chunk
    // costs no copy into the packet buffer.
    xmitInit(PKT_FILEBULK);
    xmitAddText(TAG_NAME, name.text(), UNIT_NLSTEXT);
    xmitAddInt(TAG_LAST, lastChunk);
    xmitAddUnit(TAG_DATA, 0, nullptr, UNIT_BINARY);
    uint32_t prefix = bodyLength;
    putU32(reinterpret_cast<unsigned char*>(buffer) + prefix - 4, length);
    xmitAddEnd();
    uint64_t body = uint64_t(prefix) + padded + (bodyLength - prefix);
    putU32(xmit_header, PKT_MAGIC);
    putU32(xmit_header + 4, static_cast<uint32_t>(body));
    putU32(xmit_header + 8, KEY_CLEAR);
    std::memset(xmit_header + 12, 0, XMIT_HEADER_SIZE - 12);
    static const char zeros[8] = {};
    SendPiece pieces[5] = {{reinterpret_cast<char*>(xmit_header), XMIT_HEADER_SIZE},
                           {buffer, prefix},
                           {data.get(), length},
                           {zeros, static_cast<long long>(padded - length)},
                           {buffer + prefix, bodyLength - prefix}};
    int rc = SendPieces(sock, pieces, 5);
    resetXmitBuf();
    return rc;
}

void FileBulkPacket::parse() { parseUnits(false); }

const char* FileBulkPacket::parseUnits(bool inPlace) {
    const char* bytes = nullptr;
    // A chunk without a data unit carries no bytes; the last chunk's count
    // must not be written again.
    length = 0;
    UnitWalker walker = units();
    Unit u;
    while (walker.next(u)) {
        switch (u.tag) {
        case TAG_NAME:
            name.setBytes(u.data, u.length);
            break;
        case TAG_DATA:
            length = 0;
            if (inPlace) {
                bytes = reinterpret_cast<const char*>(u.data);
            } else {
                reserveData(u.length);
                if (u.length)
                    std::memcpy(data.get(), u.data, u.length);
                bytes = data.get();
            }
            length = u.length;
            break;
        case TAG_LAST:
            lastChunk = unitInt(u);
            break;
        default:
            break;
        }
    }
    return bytes;
}

void FileBulkPacket::sendBulk(int sock, int conversion) {
    TRACE("sendBulk: Enter");
    bool text = isSuffix(name.text(), ".TXT");
    if (!file) {
        if (text) {
            fixcrlf(1);
            Convert2ascii(conversion);
            send(sock, 0);
        }
        return;
    }
    try {
        uint64_t chunk = static_cast<uint64_t>(xrbChunkSize());
        long long size = -1;
        struct stat st;
        // A regular file's size costs one call; anything else is measured
        // by seeking to its end.
        if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && ftello(file) == 0) {
            size = st.st_size;
        } else {
            if (fseeko(file, 0, SEEK_END) == 0)
                size = ftello(file);
            if (size < 0 || fseeko(file, 0, SEEK_SET) != 0)
                throw new TCException(msgGet(XRBE_019_READ_FAILED, plainName(name.text())));
        }
        uint64_t remaining = static_cast<uint64_t>(size);
        TransferProgress progress(plainName(name.text()), size);
        // A small file needs no buffer of the full chunk size.
        reserveData(remaining < chunk ? remaining : chunk);
        auto readPiece = [&]() -> size_t {
            size_t want = static_cast<size_t>(remaining < chunk ? remaining : chunk);
            size_t got = want ? std::fread(data.get(), 1, want, file) : 0;
            if (got < want && std::ferror(file))
                throw new TCException(msgGet(XRBE_019_READ_FAILED, plainName(name.text())));
            return got;
        };

        size_t got = readPiece();
        while (remaining > chunk) {
            // The file shrank since its size was taken: what was read ends it.
            if (got < chunk) {
                remaining = got;
                break;
            }
            lastChunk = 0;
            length = static_cast<uint32_t>(chunk);
            if (text) {
                fixcrlf(1);
                Convert2ascii(conversion);
            }
            send(sock, 0);
            progress.moved(chunk);
            remaining -= chunk;
            // The chunk has been handed to the connection: read the next one
            // while the peer stores this one, rather than after its
            // acknowledgement.
            got = readPiece();
            CommPacket ack(sock, 0);
            if (ack.get_commtype() == COMM_FILE_ABORT) {
                closeFile();
                TRACE("sendBulk: Exit - error");
                return;
            }
        }

        lastChunk = 1;
        length = static_cast<uint32_t>(got);
        TRACE("Length of file = %d", static_cast<int>(length));
        closeFile();
        if (text) {
            fixcrlf(1);
            Convert2ascii(conversion);
        }
        send(sock, 0);
        TRACE("sendBulk: Exit");
    } catch (...) {
        closeFile();
        throw;
    }
}

void FileBulkPacket::recvBulk(int sock, int conversion) {
    lastChunk = 0;
    TRACE("Enter FileBulkPacket::recvBulk. File name is %s", name.text());
    // The peer names the file in its chunks; errors report the name asked for.
    std::string asked(name.text());
    TransferProgress progress(plainName(asked.c_str()), -1);
    try {
        CommPacket(COMM_REQ_FILE, asked.c_str()).send(sock, 0);
        while (!lastChunk) {
            recv(sock, PKT_FILEBULK, 0);
            TRACE("Receiving bulk for file %s", asked.c_str());
            // No text hook runs on a binary file, so its chunk is written
            // straight from the packet buffer, which stays untouched until
            // the acknowledgement below.
            bool binary = isSuffix(asked.c_str(), ".BIN") != 0;
            const char* bytes = parseUnits(binary && file);
            TRACE("Filesize= %d", static_cast<int>(length));
            if (!binary) {
                fixcrlf(2);
                Convert2ebcdic(conversion);
                bytes = data.get();
            }
            if (!file)
                continue;
            // Straight to the file, one call for the chunk rather than the
            // stream's three (fill its buffer, write the rest, flush), and a
            // full disk shows at the chunk that hit it.
            size_t wrote = writeWhole(fileno(file), bytes, length);
            if (wrote < length) {
                closeFile();
                if (!lastChunk)
                    CommPacket(COMM_FILE_ABORT).send(sock, 0);
                throw new TCException(msgGet(XRBE_055_WRITE_FAILED, plainName(asked.c_str())));
            }
            TRACE("Wrote %d bytes", static_cast<int>(wrote));
            progress.moved(wrote);
            if (!lastChunk)
                CommPacket(COMM_FILE_NEXT).send(sock, 0);
        }
        resetXmitBuf();
        if (file) {
            int rc = std::fclose(file);
            file = nullptr;
            if (rc != 0)
                throw new TCException(msgGet(XRBE_055_WRITE_FAILED, plainName(asked.c_str())));
        }
        TRACE("Exit FileBulkPacket::recvBulk");
    } catch (...) {
        closeFile();
        throw;
    }
}

void FileBulkPacket::writeFile() {
    if (!file)
        return;
    size_t wrote = length ? std::fwrite(data.get(), 1, length, file) : 0;
    int rc = std::fclose(file);
    file = nullptr;
    if (wrote < length || rc != 0)
        throw new TCException(msgGet(XRBE_055_WRITE_FAILED, plainName(name.text())));
}

// This client runs on an ASCII host: text travels unchanged.
void FileBulkPacket::fixcrlf(unsigned) {}
void FileBulkPacket::Convert2ascii(int) {}
void FileBulkPacket::Convert2ebcdic(int) {}
