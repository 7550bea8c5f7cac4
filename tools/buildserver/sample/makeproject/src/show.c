#include <stdio.h>

#include "calc.h"

void show(const char* what, int value)
{
    printf("%s = %d\n", what, value);
}
