// glowview's entry point. The program takes no arguments.
#include "src/app.h"

int main(int, char**)
{
    return RunApplication();
}
