#include "cipherhook.h"

#include "security/xrbciph.h"

void decipherBody(std::string& body, uint32_t keyIndex)
{
    if (!body.empty())
        decipher(&body[0], body.size(), keyIndex);
}
