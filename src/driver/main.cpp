#include <cstdio>

#include "driver/driver.h"

int main(int argc, char **argv) { return delimcheck_main(argc, argv, stdin); }
