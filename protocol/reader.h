// WireReader: the one way anything received from the network is read.
// Every take checks the remaining length before it consumes; a take that
// does not fit returns false and leaves the reader where it was, with the
// out-parameter cleared.  Integers are big-endian on the wire.
#ifndef XRB_PROTOCOL_READER_H
#define XRB_PROTOCOL_READER_H

#include <cstddef>
#include <cstdint>

class WireReader {
public:
    WireReader(unsigned char const* data, size_t size) : data_(data), size_(data ? size : 0), pos_(0) {}

    bool takeU32(uint32_t& out)
    {
        out = 0;
        if (remaining() < 4)
            return false;
        unsigned char const* p = data_ + pos_;
        out = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
        pos_ += 4;
        return true;
    }

    bool takeI32(int32_t& out)
    {
        uint32_t u;
        bool ok = takeU32(u);
        out = static_cast<int32_t>(u);
        return ok;
    }

    // Points out at the next n bytes (inside the reader's data) and consumes them.
    bool takeBytes(uint64_t n, unsigned char const*& out)
    {
        out = nullptr;
        if (n > remaining())
            return false;
        out = data_ + pos_;
        pos_ += static_cast<size_t>(n);
        return true;
    }

    bool skip(uint64_t n)
    {
        if (n > remaining())
            return false;
        pos_ += static_cast<size_t>(n);
        return true;
    }

    size_t remaining() const { return size_ - pos_; }
    size_t offset() const { return pos_; }

private:
    unsigned char const* data_;
    size_t size_;
    size_t pos_;
};

// Big-endian encoding of one 32-bit word, the counterpart of takeU32.
inline void putU32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

#endif
