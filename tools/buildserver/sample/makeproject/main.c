#include "calc.h"

int main(void)
{
    show("2 + 3", add(2, 3));
    show("6 * 7", multiply(6, 7));
    return 0;
}
