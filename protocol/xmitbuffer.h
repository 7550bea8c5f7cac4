// The transmit buffer: the one block of memory in which every packet of the
// process builds and receives its body.  It owns the block; packets hold
// only lengths and ask it for the bytes when they need them, so that a
// packet that grows or shrinks the block never leaves another packet
// with a pointer into memory that is gone.
#ifndef XRB_PROTOCOL_XMITBUFFER_H
#define XRB_PROTOCOL_XMITBUFFER_H

#include <cstdint>

constexpr uint32_t XMIT_INITIAL_SIZE = 1024;
constexpr uint32_t XMIT_RESET_ABOVE = 10000000;
// Largest body accepted or built; keeps every size within the transport's int.
constexpr uint32_t XMIT_MAX_BODY = 0x7FFF0000u;

class XmitBuffer {
public:
    constexpr XmitBuffer() : bytes_(nullptr), capacity_(0) {}
    ~XmitBuffer();
    XmitBuffer(XmitBuffer const&) = delete;
    XmitBuffer& operator=(XmitBuffer const&) = delete;

    // The first 1024 bytes, zeroed, when there is no block yet.  XRBE-057
    // when they cannot be had.
    void allocate();
    // Room for need bytes from the start, what is there kept.  A block that
    // is too small grows to need + its capacity + 1024, so that it at least
    // doubles; the added part is not cleared.  XRBE-057 when need is beyond
    // the largest body or the block cannot grow (the old block then stays).
    void reserve(uint64_t need);
    // Back to 1024 bytes when the block is above 10,000,000 bytes.
    void shrink();

    // The bytes of the body; valid until the next reserve or shrink.
    char* body() const { return bytes_; }
    uint32_t capacity() const { return capacity_; }

    // For the process-wide names below.
    static constexpr char* const& startOf(XmitBuffer const& b) { return b.bytes_; }
    static constexpr uint32_t const& capacityOf(XmitBuffer const& b) { return b.capacity_; }

private:
    char* bytes_;
    uint32_t capacity_;
};

// The block of the process.
extern XmitBuffer xmitBuffer;
// Its start and capacity under their process-wide names; they follow the
// block wherever it moves and only the buffer changes them.
extern char* const& global_xmit_buffer;
extern uint32_t const& global_xmit_buf_len;

#endif
