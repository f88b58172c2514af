#include "StartUp.h"

int main(int argc, char *argv[])
{
    return RunQuelmar(argc, argv);
}
