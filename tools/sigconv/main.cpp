// vellumix-sigconv: converts signature files between the stored formats,
// text, SVG and PNG, and describes them (--info).
#include <iostream>
#include <string>
#include <vector>

#include "sigconv/SigConv.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vellumix::tools::RunSigConv(args, std::cout, std::cerr);
}
