// The packet cipher: TEA over whole 8-byte blocks, keyed by four consecutive
// words of the key table.  Bytes past the last whole block stay unchanged.
#ifndef XRB_SECURITY_XRBCIPH_H
#define XRB_SECURITY_XRBCIPH_H

#include <cstdint>

// A fresh key index: even, 0 to 250.  Seeds the generator on the first call.
unsigned int getIndex();
// Enciphers in place: plain words read least significant byte first, cipher
// words written most significant byte first.
void encipher(char* buffer, unsigned long length, unsigned int index);
// Deciphers in place; an even index writes the plain words least significant
// byte first, an odd one most significant byte first.  The caller checks that
// index + 3 lies within the table.
void decipher(char* buffer, unsigned long length, unsigned int index);

#endif
