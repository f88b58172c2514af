#include "StartUp.h"

int main(int argc, char *argv[])
{
    return runQuelmar(argc, argv);
}
