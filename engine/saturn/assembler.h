// A small assembler for the calculators' Saturn processor: the instructions
// and directives the grayscale viewer is written with, in HP's mnemonics.
//
// A line is [label] [mnemonic [operand]] [; comment]; a label starts in the
// first column, a line whose first character is '*' is a comment. Operands
// are numbers (#hex or decimal), labels and symbols, joined by + and -.
// Symbols are set by `=NAME EQU value`. Directives: CON(n) value,
// REL(n) label (the label's distance from the field), NIBHEX digits.
// A test (?A=0 A, ?ABIT=1 15, ...) is followed by GOYES label or RTNYES.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace saturn {

struct AssemblyError : std::runtime_error {
    AssemblyError(int line, const std::string& message);
    int line;
};

// The source's nibbles in memory order (each 0..15).
std::vector<std::uint8_t> Assemble(std::string_view source);

// Nibbles as hex digits, in memory order: "8F9B760".
std::string Hex(const std::vector<std::uint8_t>& nibbles);

} // namespace saturn
