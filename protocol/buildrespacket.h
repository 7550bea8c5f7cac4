// BuildResPacket: the outcome of a build.
#ifndef XRB_PROTOCOL_BUILDRESPACKET_H
#define XRB_PROTOCOL_BUILDRESPACKET_H

#include "protocol/ownedtext.h"
#include "protocol/packet.h"

class BuildResPacket : public Packet {
public:
    BuildResPacket();
    // Receives the result; the caller has sent COMM_REQ_RESULT.
    explicit BuildResPacket(int sock);

    int get_result() const { return result; }
    char* get_builderMsg() { return builderMsg.get(); }
    char* get_msgfiles() { return msgfiles.get(); }
    void set_result(int value) { result = value; }
    // Appends length bytes of text (its whole length when length is 0).
    void set_msg(char const* text, int length);
    void set_msgfiles(char const* text);

protected:
    void fields(UnitFields& f) override;

private:
    int result;
    OwnedText builderMsg;
    OwnedText msgfiles;
    int builderMsgLen;
};

#endif
