// Files sent to a calculator through the helper programs the system has:
// C-Kermit (`kermit`), to an HP 48 in SERVER mode or an HP 49g+ or 50g over
// its serial link, and lrzsz's `sx`, XModem, to a calculator waiting in
// XRECV. The protocols are theirs; this says how to run them for a
// calculator and what their outcome means.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace sending {

enum class Protocol { Kermit, XModem };

struct Link {
    std::string device; // a serial device (/dev/ttyUSB0, /dev/ttyACM0, ...)
    Protocol protocol = Protocol::Kermit;
    int speed = 9600; // baud: the HP 48's highest and every model's default
};

// The name a file is stored under on the calculator: its file name up to the
// first dot, letters and digits only, in capitals (walk.g16: WALK; 3d.gro:
// G3D, as a name cannot start with a digit).
std::string CalculatorName(std::string_view path);

// Sends the file at `path`, stored as `name` (Kermit; XModem sends no
// name: XRECV is given one on the calculator). Empty when the calculator
// took it, else why not: no answer, the calculator's own refusal ("Invalid
// Syntax"), a lost connection, or a helper program that is missing.
std::string Send(const Link& link, const std::string& path, const std::string& name);

} // namespace sending
