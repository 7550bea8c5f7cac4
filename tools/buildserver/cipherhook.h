// Deciphers a received packet body in place with the shared key table.
#ifndef XRB_BUILDSERVER_CIPHERHOOK_H
#define XRB_BUILDSERVER_CIPHERHOOK_H

#include <cstdint>
#include <string>

void decipherBody(std::string& body, uint32_t keyIndex);

#endif
