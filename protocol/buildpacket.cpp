// The build request.
#include "protocol/buildpacket.h"

#include <cstdio>
#include <cstring>

#include "protocol/commpacket.h"
#include "protocol/reader.h"

namespace {
int const DEFAULT_RECEIVED_SCRIPT_TYPE = 26;

void dumpList(List* list)
{
    list->reset();
    for (char* item = list->getItem(); item; list->next(), item = list->getItem())
        std::printf("   %s", item);
}

void backslashesToSlashes(char* text)
{
    for (; text && *text; ++text)
        if (*text == '\\')
            *text = '/';
}
} // namespace

BuildPacket::BuildPacket(char const* scriptName, char const* scriptFileName, int scriptType, char const* loc,
                         char const* cond, int rc, int timeoutValue, int options)
    : Packet(PKT_BUILD), buildScriptType(scriptType), goodRc(rc), timeout(timeoutValue), opts(options),
      includes(new List), inputs(new List), outputs(new List), vars(new List)
{
    buildScriptName.set(scriptName);
    buildScriptFileName.set(scriptFileName);
    buildLoc.set(loc);
    goodCond.set(cond);
}

BuildPacket::BuildPacket(int sock)
    : Packet(PKT_BUILD), buildScriptType(DEFAULT_RECEIVED_SCRIPT_TYPE), goodRc(0), timeout(0), opts(0),
      includes(new List), inputs(new List), outputs(new List), vars(new List)
{
    goodCond.set("");
    try {
        requestPacket(sock, COMM_REQ_BUILD);
        receive(sock);
    } catch (...) {
        delete includes;
        delete inputs;
        delete outputs;
        delete vars;
        throw;
    }
}

BuildPacket::~BuildPacket()
{
    delete includes;
    delete inputs;
    delete outputs;
    delete vars;
}

void BuildPacket::add_input(char const* text)
{
    inputs->addElem(text ? text : "");
}
void BuildPacket::add_output(char const* text)
{
    outputs->addElem(text ? text : "");
}
void BuildPacket::add_dep(char const* text)
{
    includes->addElem(text ? text : "");
}
void BuildPacket::add_var(char const* text)
{
    vars->addElem(text ? text : "");
}

void BuildPacket::set_parms(char const* text)
{
    if (!buildParms.present())
        buildParms.set(text ? text : "");
}

void BuildPacket::set_proclib(char const* text)
{
    if (text && *text)
        proclib.set(text);
}

char* BuildPacket::first(List* list)
{
    list->reset();
    return list->getItem();
}

char* BuildPacket::next(List* list)
{
    list->next();
    return list->getItem();
}

// The units in the order they travel; tags 103, 104 and 114 are unused.
void BuildPacket::fields(UnitFields& f)
{
    f.list(111, UNIT_NLSTEXT, inputs);
    f.list(110, UNIT_NLSTEXT, includes);
    f.list(112, UNIT_NLSTEXT, outputs);
    f.list(113, UNIT_NLSTEXT, vars);
    f.text(101, UNIT_NLSTEXT, buildScriptName);
    f.text(102, UNIT_NLSTEXT, buildScriptFileName);
    f.number(106, goodRc);
    f.number(107, timeout);
    f.number(116, opts);
    f.number(105, buildScriptType);
    f.text(109, UNIT_TEXT, goodCond);
    f.text(108, UNIT_NLSTEXT, buildParms);
    f.optionalText(117, UNIT_TEXT, proclib);
    f.text(115, UNIT_NLSTEXT, buildLoc);
}

void BuildPacket::parse()
{
    Packet::parse();
    backslashesToSlashes(buildScriptName.get());
}

void BuildPacket::dump()
{
    std::printf("Dump of BuildPacket\n");
    std::printf("Build script name=%s\n", buildScriptName.text());
    std::printf("Build script file name=%s\n", buildScriptFileName.text());
    std::printf("Build script type=%d\n", buildScriptType);
    std::printf("Build directory =%s\n", buildLoc.text());
    std::printf("Good Return code=%d\n", goodRc);
    std::printf("Good Return cond=%s\n", goodCond.text());
    std::printf("Builder parms=%s\n", buildParms.text());
    std::printf("Build options =%d\n", opts);
    std::printf("\nInput files:\n");
    dumpList(inputs);
    std::printf("\nInclude files:\n");
    dumpList(includes);
    std::printf("\nOutput files:\n");
    dumpList(outputs);
    std::printf("\nVariables:\n");
    dumpList(vars);
    std::printf("\n");
}

field convert_to_field(void const* unit)
{
    field f{0, 0};
    if (!unit)
        return f;
    WireReader r(static_cast<unsigned char const*>(unit), UNIT_HEADER_SIZE);
    uint32_t kind = 0;
    r.takeU32(f.tag);
    r.takeU32(kind);
    r.takeU32(f.length);
    return f;
}
