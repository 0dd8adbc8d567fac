// Assembles a source for the calculator into a C++ header holding its
// nibbles, for the build:  saturn-assemble SOURCE HEADER NAME
#include "assembler.h"

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: saturn-assemble SOURCE HEADER NAME\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot be read\n";
        return 1;
    }
    std::ostringstream source;
    source << in.rdbuf();
    try {
        const std::vector<std::uint8_t> nibbles = saturn::Assemble(source.str());
        std::ostringstream header;
        header << "// Written by the build from "
               << std::string(argv[1]).substr(std::string(argv[1]).find_last_of('/') + 1)
               << ": its nibbles in memory order.\n#pragma once\n#include <cstdint>\n"
               << "inline constexpr std::uint8_t " << argv[3] << "[] = {";
        for (std::size_t i = 0; i < nibbles.size(); ++i)
            header << (i % 32 == 0 ? "\n    " : " ") << int(nibbles[i]) << ",";
        header << "\n};\n";
        std::ofstream out(argv[2], std::ios::binary);
        out << header.str();
        if (!out.flush()) {
            std::cerr << argv[2] << ": cannot be written\n";
            return 1;
        }
    } catch (const saturn::AssemblyError& error) {
        std::cerr << argv[1] << ":" << error.line << ": " << error.what() << "\n";
        return 1;
    }
    return 0;
}
