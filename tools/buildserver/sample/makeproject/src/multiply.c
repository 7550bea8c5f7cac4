#include "calc.h"

int multiply(int a, int b)
{
    int product = 0;
    for (int i = 0; i < b; ++i)
        product = add(product, a);
    return product;
}
