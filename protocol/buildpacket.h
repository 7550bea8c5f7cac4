// BuildPacket: the build request.
#ifndef XRB_PROTOCOL_BUILDPACKET_H
#define XRB_PROTOCOL_BUILDPACKET_H

#include "base/list.h"
#include "protocol/ownedtext.h"
#include "protocol/packet.h"

class BuildPacket : public Packet {
public:
    BuildPacket(char const* buildScriptName, char const* buildScriptFileName, int buildScriptType, char const* buildLoc,
                char const* goodCond, int goodRc, int timeout, int opts);
    // Asks the peer for the request (COMM_REQ_BUILD) and receives it.
    explicit BuildPacket(int sock);
    ~BuildPacket();
    BuildPacket(BuildPacket const&) = delete;
    BuildPacket& operator=(BuildPacket const&) = delete;

    void add_input(char const* text);
    void add_output(char const* text);
    void add_dep(char const* text);
    void add_var(char const* text);
    void set_parms(char const* text);   // only the first call counts
    void set_proclib(char const* text); // an empty text changes nothing

    void parse() override;
    void dump();

    char* get_buildScriptName() { return buildScriptName.get(); }
    char* get_buildScriptFileName() { return buildScriptFileName.get(); }
    int get_buildScriptType() const { return buildScriptType; }
    char* get_buildParms() { return buildParms.get(); }
    char* get_proclib() { return proclib.get(); }
    char* get_buildLoc() { return buildLoc.get(); }
    char* get_goodCond() { return goodCond.get(); }
    int get_goodRc() const { return goodRc; }
    int get_timeout() const { return timeout; }
    int get_opts() const { return opts; }

    char* get_firstInclude() { return first(includes); }
    char* get_nextInclude() { return next(includes); }
    char* get_firstInput() { return first(inputs); }
    char* get_nextInput() { return next(inputs); }
    char* get_firstOutput() { return first(outputs); }
    char* get_nextOutput() { return next(outputs); }
    char* get_firstVar() { return first(vars); }
    char* get_nextVar() { return next(vars); }

protected:
    void fields(UnitFields& f) override;

private:
    static char* first(List* list);
    static char* next(List* list);

    OwnedText buildScriptName;
    OwnedText buildScriptFileName;
    int buildScriptType;
    OwnedText buildParms;
    OwnedText proclib;
    OwnedText buildLoc;
    OwnedText goodCond;
    int goodRc;
    int timeout;
    int opts;
    List* includes;
    List* inputs;
    List* outputs;
    List* vars;
};

// Tag and length of the unit at p (wire form); the kind is not copied.
struct field {
    uint32_t tag;
    uint32_t length;
};
field convert_to_field(void const* unit);

#endif
