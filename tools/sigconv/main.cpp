// vellumix-sigconv: converts signature files between the stored formats,
// text, InkML, and pictures (SVG, PNG, PDF), and describes them (--info).
#include <iostream>
#include <string>
#include <vector>

#include "sigconv/SigConv.h"

int main(int argc, char** argv) {
    // Output may be a binary file on standard output: no newline translation
    // happens on this platform, and the streams are not synced with stdio.
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vellumix::tools::sigconv::RunSigConv(args, std::cin, std::cout, std::cerr);
}
