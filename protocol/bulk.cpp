// The chunked file transfer with one acknowledgement per chunk.
#include "protocol/bulk.h"

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "base/tcexp.h"
#include "base/wholeio.h"
#include "msg/msg.h"
#include "protocol/commpacket.h"
#include "protocol/filexfer.h"
#include "protocol/progress.h"
#include "protocol/wiremsg.h"
#include "trace/fhgtrace.h"

#define TRACE(...) XRB_TRACE_AT("xrbbld", __VA_ARGS__)

namespace {

char const* plainName(char const* travelling)
{
    char const* s = stripSuffix(travelling);
    return s ? s : "";
}

[[noreturn]] void failReading(char const* name)
{
    throw new TCException(msgGet(XRBE_019_READ_FAILED, plainName(name)));
}

// The size of the file to send, from the start.
long long sizeOf(FILE* file, char const* name)
{
    struct stat st;
    // A regular file's size costs one call; anything else is measured by
    // seeking to its end.
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && ftello(file) == 0)
        return st.st_size;
    long long size = -1;
    if (fseeko(file, 0, SEEK_END) == 0)
        size = ftello(file);
    if (size < 0 || fseeko(file, 0, SEEK_SET) != 0)
        failReading(name);
    return size;
}

void sendChunk(int sock, FileBulkPacket& packet, bool text, int conversion)
{
    if (text) {
        packet.fixcrlf(1);
        packet.Convert2ascii(conversion);
    }
    packet.send(sock, 0);
}

void sendFile(int sock, FileBulkPacket& packet, char const* name, bool text, int conversion)
{
    FILE* file = packet.get_file();
    uint64_t chunk = static_cast<uint64_t>(xrbChunkSize());
    long long size = sizeOf(file, name);
    uint64_t remaining = static_cast<uint64_t>(size);
    TransferProgress progress(plainName(name), size);
    // A small file needs no block of the full chunk size.
    char* block = packet.reserveData(remaining < chunk ? remaining : chunk);
    auto readPiece = [&]() -> size_t {
        size_t want = static_cast<size_t>(remaining < chunk ? remaining : chunk);
        size_t got = want ? std::fread(block, 1, want, file) : 0;
        if (got < want && std::ferror(file))
            failReading(name);
        return got;
    };

    size_t got = readPiece();
    while (remaining > chunk) {
        // The file shrank since its size was taken: what was read ends it.
        if (got < chunk) {
            remaining = got;
            break;
        }
        packet.set_chunk(static_cast<uint32_t>(chunk), 0);
        sendChunk(sock, packet, text, conversion);
        progress.moved(chunk);
        remaining -= chunk;
        // The chunk has been handed to the connection: read the next one
        // while the peer stores this one, rather than after its
        // acknowledgement.
        got = readPiece();
        CommPacket ack(sock, 0);
        if (ack.get_commtype() == COMM_FILE_ABORT) {
            packet.closeFile();
            TRACE("sendBulk: Exit - error");
            return;
        }
    }

    packet.set_chunk(static_cast<uint32_t>(got), 1);
    TRACE("Length of file = %d", static_cast<int>(got));
    packet.closeFile();
    sendChunk(sock, packet, text, conversion);
    TRACE("sendBulk: Exit");
}

// Writes one received chunk to the file; false when it did not all go.
bool writeChunk(FileBulkPacket& packet, char const* bytes, TransferProgress& progress)
{
    // Straight to the file, one call for the chunk rather than the
    // stream's three (fill its buffer, write the rest, flush), and a full
    // disk shows at the chunk that hit it.
    int fd = fileno(packet.get_file());
    size_t wrote =
        moveWhole(packet.get_length(), [&](size_t at, size_t left) { return ::write(fd, bytes + at, left); });
    if (wrote < packet.get_length())
        return false;
    TRACE("Wrote %d bytes", static_cast<int>(wrote));
    progress.moved(wrote);
    return true;
}

void receiveFile(int sock, FileBulkPacket& packet, std::string const& asked, int conversion)
{
    TransferProgress progress(plainName(asked.c_str()), -1);
    // No text hook runs on a binary file, so its chunk is written straight
    // from the transmit buffer, which stays untouched until the
    // acknowledgement below.
    bool binary = isSuffix(asked.c_str(), ".BIN") != 0;
    CommPacket request(COMM_REQ_FILE, asked.c_str());
    sendUnchecked(request, sock);
    do {
        packet.recv(sock, PKT_FILEBULK, 0);
        TRACE("Receiving bulk for file %s", asked.c_str());
        char const* bytes = packet.parseChunk(binary && packet.get_file());
        TRACE("Filesize= %d", static_cast<int>(packet.get_length()));
        if (!binary) {
            packet.fixcrlf(2);
            packet.Convert2ebcdic(conversion);
            bytes = packet.get_data();
        }
        if (!packet.get_file())
            continue;
        if (!writeChunk(packet, bytes, progress)) {
            packet.closeFile();
            if (!packet.get_lastChunk()) {
                CommPacket abort(COMM_FILE_ABORT);
                sendUnchecked(abort, sock);
            }
            throw new TCException(msgGet(XRBE_055_WRITE_FAILED, plainName(asked.c_str())));
        }
        if (!packet.get_lastChunk()) {
            CommPacket next(COMM_FILE_NEXT);
            sendUnchecked(next, sock);
        }
    } while (!packet.get_lastChunk());
    xmitBuffer.shrink();
    // Closed here, not by closeFile, so that a failure to store the last
    // bytes is reported.
    if (FILE* file = packet.takeFile()) {
        if (std::fclose(file) != 0)
            throw new TCException(msgGet(XRBE_055_WRITE_FAILED, plainName(asked.c_str())));
    }
}

} // namespace

void sendBulk(int sock, FileBulkPacket& packet, int conversion)
{
    TRACE("sendBulk: Enter");
    std::string name(packet.get_name() ? packet.get_name() : "");
    bool text = isSuffix(name.c_str(), ".TXT") != 0;
    if (!packet.get_file()) {
        if (text)
            sendChunk(sock, packet, true, conversion);
        return;
    }
    try {
        sendFile(sock, packet, name.c_str(), text, conversion);
    } catch (...) {
        packet.closeFile();
        throw;
    }
}

void recvBulk(int sock, FileBulkPacket& packet, int conversion)
{
    // Until a chunk says otherwise, it is not the last.
    packet.set_chunk(packet.get_length(), 0);
    std::string asked(packet.get_name() ? packet.get_name() : "");
    TRACE("Enter FileBulkPacket::recvBulk. File name is %s", asked.c_str());
    // The peer names the file in its chunks; errors report the name asked for.
    try {
        receiveFile(sock, packet, asked, conversion);
        TRACE("Exit FileBulkPacket::recvBulk");
    } catch (...) {
        packet.closeFile();
        throw;
    }
}
