// TEA over the packet body, keyed from the shared key table.
#include "security/xrbciph.h"

#include <cstdlib>
#include <ctime>

#include "security/keytable.h"
#include "trace/fhgtrace.h"

#define TRACE(...) XRB_TRACE_AT("xrbciph", __VA_ARGS__)

namespace {

uint32_t const DELTA = 0x9E3779B9u;
int const CYCLES = 32;
int firstTime = 1;

void encode(uint32_t const in[2], uint32_t out[2], uint32_t const k[4])
{
    uint32_t y = in[0], z = in[1], sum = 0;
    for (int i = 0; i < CYCLES; ++i) {
        sum += DELTA;
        y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    }
    out[0] = y;
    out[1] = z;
}

void decode(uint32_t const in[2], uint32_t out[2], uint32_t const k[4])
{
    uint32_t y = in[0], z = in[1], sum = DELTA * CYCLES;
    for (int i = 0; i < CYCLES; ++i) {
        z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
        y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        sum -= DELTA;
    }
    out[0] = y;
    out[1] = z;
}

uint32_t readLE(unsigned char const* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t readBE(unsigned char const* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
void writeLE(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}
void writeBE(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// An index past the table wraps instead of reading beyond it; the framing
// rejects such indices before they get here.
void loadKey(unsigned int index, uint32_t k[4])
{
    for (int i = 0; i < 4; ++i)
        k[i] = keys[(index + i) % KEYTABLE_WORDS];
}

} // namespace

unsigned int getIndex()
{
    if (firstTime) {
        firstTime = 0;
        srandom(static_cast<unsigned>(time(nullptr)));
    }
    unsigned int index = static_cast<unsigned>(rand()) % 252u;
    if (index & 1u)
        --index;
    TRACE("index is %d", static_cast<int>(index));
    return index;
}

void encipher(char* buffer, unsigned long length, unsigned int index)
{
    uint32_t k[4];
    loadKey(index, k);
    unsigned char* p = reinterpret_cast<unsigned char*>(buffer);
    for (unsigned long off = 0; off + 8 <= length; off += 8) {
        uint32_t in[2] = {readLE(p + off), readLE(p + off + 4)};
        uint32_t out[2];
        encode(in, out, k);
        writeBE(p + off, out[0]);
        writeBE(p + off + 4, out[1]);
    }
    TRACE("End Encipher");
}

void decipher(char* buffer, unsigned long length, unsigned int index)
{
    uint32_t k[4];
    loadKey(index, k);
    bool odd = index & 1u;
    unsigned char* p = reinterpret_cast<unsigned char*>(buffer);
    for (unsigned long off = 0; off + 8 <= length; off += 8) {
        uint32_t in[2] = {readBE(p + off), readBE(p + off + 4)};
        uint32_t out[2];
        decode(in, out, k);
        if (odd) {
            writeBE(p + off, out[0]);
            writeBE(p + off + 4, out[1]);
        } else {
            writeLE(p + off, out[0]);
            writeLE(p + off + 4, out[1]);
        }
    }
    TRACE("End Decipher");
}
