#include <iostream>
#include <string>
#include <vector>

#include "monitor/app/wardctl_commands.h"

int main(int argc, char** argv) {
    return wardlet::RunWardctl(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                               std::cerr);
}
