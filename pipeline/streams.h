// Standard input and output for pictures and GROBs: read whole (up to the
// file limit) and written whole, waiting on descriptors that whoever started
// the program left non-blocking. A closed stream is said as such.
#pragma once

#include "regularfile.h"

#include <cstdint>
#include <span>
#include <string>

namespace pipeline {

// Thrown by the functions below: "-" and the cause.
struct StreamFailure {
    std::string cause;
};

// Standard input whole, up to one byte past loading::kMaxFileBytes (so
// that a larger file is seen as one).
loading::Bytes ReadStandardInput();
void WriteStandardOutput(std::span<const std::uint8_t> bytes);

} // namespace pipeline
