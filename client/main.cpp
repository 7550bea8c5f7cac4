#include "client/cmdline.h"
#include "client/settings.h"
#include "client/xrbbldc.h"

int main(int argc, char** argv)
{
    setDefaults();
    if (processCmdLine(argc, argv) != 0)
        return 1;
    int rc = processCmd();
    if (verbosity > 2)
        _talk("%s", "*--------------------------------------------------------\n");
    return rc;
}
