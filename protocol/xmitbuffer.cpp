// The one transmit buffer of the process.
#include "protocol/xmitbuffer.h"

#include <cstdlib>

#include "protocol/wiremsg.h"

XmitBuffer xmitBuffer;
char* const& global_xmit_buffer = XmitBuffer::startOf(xmitBuffer);
uint32_t const& global_xmit_buf_len = XmitBuffer::capacityOf(xmitBuffer);

XmitBuffer::~XmitBuffer()
{
    std::free(bytes_);
}

void XmitBuffer::allocate()
{
    if (bytes_)
        return;
    bytes_ = static_cast<char*>(std::calloc(XMIT_INITIAL_SIZE, 1));
    if (!bytes_) {
        capacity_ = 0;
        throwNoMemory(XMIT_INITIAL_SIZE);
    }
    capacity_ = XMIT_INITIAL_SIZE;
}

void XmitBuffer::reserve(uint64_t need)
{
    if (need > uint64_t(XMIT_MAX_BODY) + 64)
        throwNoMemory(need);
    if (need < capacity_ && bytes_)
        return;
    uint64_t grown = need + capacity_ + XMIT_INITIAL_SIZE;
    if (grown > 0xFFFFFF00u)
        grown = 0xFFFFFF00u;
    // On failure the old block stays valid and in use.
    char* p = static_cast<char*>(std::realloc(bytes_, static_cast<size_t>(grown)));
    if (!p)
        throwNoMemory(grown);
    bytes_ = p;
    capacity_ = static_cast<uint32_t>(grown);
}

void XmitBuffer::shrink()
{
    if (capacity_ <= XMIT_RESET_ABOVE)
        return;
    std::free(bytes_);
    bytes_ = nullptr;
    capacity_ = 0;
    allocate();
}
