#include "cli.h"

int main(int argc, char** argv)
{
    return run_lcdump(argc, argv);
}
