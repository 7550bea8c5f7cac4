// Result of a build.
#include "protocol/buildrespacket.h"

#include <cstring>

#include "trace/fhgtrace.h"

namespace {
int const TAG_RESULT = 301;
int const TAG_MESSAGES = 302;
int const TAG_MSGFILES = 303;
} // namespace

BuildResPacket::BuildResPacket() : Packet(PKT_BUILDRES), result(0), builderMsgLen(0) {}

BuildResPacket::BuildResPacket(int sock) : Packet(PKT_BUILDRES), result(0), builderMsgLen(0)
{
    receive(sock);
}

void BuildResPacket::set_msg(char const* text, int len)
{
    if (!text)
        return;
    // Never read past the text's own end, whatever length the caller gave.
    size_t n = len > 0 ? strnlen(text, static_cast<size_t>(len)) : std::strlen(text);
    try {
        builderMsg.append(text, n);
        builderMsgLen += static_cast<int>(n);
    } catch (...) {
        XRB_TRACE_AT("xrbbld", "Insufficient memory for builder_messages");
    }
}

void BuildResPacket::set_msgfiles(char const* text)
{
    msgfiles.set(text);
}

void BuildResPacket::fields(UnitFields& f)
{
    f.number(TAG_RESULT, result);
    f.text(TAG_MESSAGES, UNIT_NLSTEXT, builderMsg);
    f.optionalText(TAG_MSGFILES, UNIT_TEXT, msgfiles);
}
