#include "base/commonC.h"

void tcTime(tcTime_t* stamp)
{
    comSystem sys(8);
    sys.time(stamp);
}

double tcDifftime(tcTime_t first, tcTime_t second)
{
    comSystem sys(8);
    return sys.diffTime(first, second);
}

int tcRemoveDirectory(char const* path)
{
    comSystem sys(8);
    return sys.removeDirectory(path);
}

void tcAppendMsg(char* dest, char const* src)
{
    comSystem sys(8);
    sys.appendMsg(dest, src);
}
