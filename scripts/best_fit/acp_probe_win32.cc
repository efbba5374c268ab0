// Prints the process's ANSI code page, as Wine chose it from the locale.
#include <stdio.h>
#include <windows.h>

int main() { return printf("%u\n", GetACP()) > 0 ? 0 : 1; }
