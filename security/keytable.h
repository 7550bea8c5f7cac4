// The cipher key table, generated at build time from the table file the
// build was configured with (XRB_KEYTABLE).  The build server must use the
// same table.
#ifndef XRB_SECURITY_KEYTABLE_H
#define XRB_SECURITY_KEYTABLE_H

#include <cstdint>

constexpr int KEYTABLE_WORDS = 256;
extern uint32_t const keys[KEYTABLE_WORDS];

#endif
