#include <cstdlib>

#include "driver.h"

int main(int argc, char** argv) { std::exit(DriverRun(argc, argv)); }
