#include "base/tcexp.h"

#include <cstdlib>
#include <cstring>

static char* copyText(char const* text)
{
    if (text == nullptr)
        text = "";
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr)
        std::memcpy(copy, text, n);
    return copy;
}

TCException::TCException() : message_(copyText("TCException")) {}

TCException::TCException(char const* message) : message_(copyText(message)) {}

TCException::~TCException()
{
    std::free(message_);
}

char* TCException::getMessage() const
{
    // An exception must always carry a text, even when the copy failed.
    return message_ != nullptr ? message_ : const_cast<char*>("TCException");
}
