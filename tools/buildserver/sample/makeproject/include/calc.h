/* The calculator's parts, each compiled on the build server. */
#ifndef CALC_H
#define CALC_H

int add(int a, int b);
int multiply(int a, int b);
void show(char const* what, int value);

#endif
