#include "base/xrbmem.h"

#include <cstdlib>

#include "base/tcexp.h"
#include "msg/msg.h"

void* reAlloc(void* block, unsigned size, int throwOnFail)
{
    // A zero size would free the block and look like a failure.
    void* grown = std::realloc(block, size != 0 ? size : 1);
    if (grown != nullptr)
        return grown;
    std::free(block);
    if (throwOnFail)
        throw new TCException(msgGet(XRBE_057_NO_MEMORY, size));
    return nullptr;
}
