// Result of a build.
#include "protocol/buildrespacket.h"

#include <cstring>

#include "trace/fhgtrace.h"

namespace {
const int TAG_RESULT = 301;
const int TAG_MESSAGES = 302;
const int TAG_MSGFILES = 303;
}  // namespace

BuildResPacket::BuildResPacket() : result(0), builderMsgLen(0) {}

BuildResPacket::BuildResPacket(int sock) : result(0), builderMsgLen(0) {
    recv(sock, PKT_BUILDRES, 0);
    parse();
}

void BuildResPacket::set_msg(const char* text, int len) {
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

void BuildResPacket::set_msgfiles(const char* text) { msgfiles.set(text); }

void BuildResPacket::buildXmit() {
    xmitInit(PKT_BUILDRES);
    xmitAddInt(TAG_RESULT, result);
    xmitAddText(TAG_MESSAGES, builderMsg.text(), UNIT_NLSTEXT);
    if (msgfiles.present())
        xmitAddText(TAG_MSGFILES, msgfiles.text(), UNIT_TEXT);
    xmitAddEnd();
}

int BuildResPacket::send(int sock, int encipherBody) {
    buildXmit();
    return Packet::send(sock, encipherBody);
}

void BuildResPacket::parse() {
    UnitWalker walker = units();
    Unit u;
    while (walker.next(u)) {
        switch (u.tag) {
        case TAG_RESULT:
            result = unitInt(u);
            break;
        case TAG_MESSAGES:
            builderMsg.setBytes(u.data, u.length);
            break;
        case TAG_MSGFILES:
            msgfiles.setBytes(u.data, u.length);
            break;
        default:
            break;
        }
    }
}
