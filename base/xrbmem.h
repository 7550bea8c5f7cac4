// Resizing allocation that reports failure in the program's own words.
#ifndef XRB_BASE_XRBMEM_H
#define XRB_BASE_XRBMEM_H

// Resizes block (null: a new block).  On failure the old block is released;
// then a TCException (XRBE-057) is thrown when throwOnFail is non-zero, else
// null is returned.
void* reAlloc(void* block, unsigned size, int throwOnFail);

#endif
