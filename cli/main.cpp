#include "cli/commands.h"
int main() { return 0; }
