// The Linux program's entry: the same run as on Windows. Arguments are
// ignored; an exit code of -1 reaches the shell as 255.
#include "installer/startup.h"

int main() { return RunInstaller(); }
