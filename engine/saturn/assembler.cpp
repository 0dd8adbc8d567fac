#include "assembler.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <optional>
#include <string>

namespace saturn {

AssemblyError::AssemblyError(int where, const std::string& message)
    : std::runtime_error("line " + std::to_string(where) + ": " + message), line(where) {}

std::string Hex(const std::vector<std::uint8_t>& nibbles) {
    std::string text;
    for (const std::uint8_t nibble : nibbles)
        text += "0123456789ABCDEF"[nibble & 15];
    return text;
}

namespace {

// The fields an instruction works on, by their codes in the instructions
// that name one (the A field has shorter forms of its own).
constexpr std::array<std::string_view, 8> kFields = {"P", "WP", "XS", "X", "S", "M", "B", "W"};

// The four tables of register operations, by their last nibble; the field
// comes before it (A field: the table's own first nibble).
constexpr std::array<std::string_view, 16> kAdd = {
    "A=A+B", "B=B+C", "C=C+A", "D=D+C", "A=A+A", "B=B+B", "C=C+C", "D=D+D",
    "B=B+A", "C=C+B", "A=A+C", "C=C+D", "A=A-1", "B=B-1", "C=C-1", "D=D-1"};
constexpr std::array<std::string_view, 16> kMove = {"A=0",  "B=0",  "C=0",  "D=0", "A=B", "B=C",
                                                    "C=A",  "D=C",  "B=A",  "C=B", "A=C", "C=D",
                                                    "ABEX", "BCEX", "ACEX", "CDEX"};
constexpr std::array<std::string_view, 16> kSubtract = {
    "A=A-B", "B=B-C", "C=C-A", "D=D-C", "A=A+1", "B=B+1", "C=C+1", "D=D+1",
    "B=B-A", "C=C-B", "A=A-C", "C=C-D", "A=B-A", "B=C-B", "C=A-C", "D=C-D"};
constexpr std::array<std::string_view, 16> kShift = {
    "ASL",  "BSL",  "CSL",  "DSL",  "ASR",    "BSR",    "CSR",    "DSR",
    "A=-A", "B=-B", "C=-C", "D=-D", "A=-A-1", "B=-B-1", "C=-C-1", "D=-D-1"};
constexpr std::array<std::string_view, 16> kEqual = {"?A=B", "?B=C", "?A=C", "?C=D", "?A#B", "?B#C",
                                                     "?A#C", "?C#D", "?A=0", "?B=0", "?C=0", "?D=0",
                                                     "?A#0", "?B#0", "?C#0", "?D#0"};
constexpr std::array<std::string_view, 16> kOrder = {
    "?A>B",  "?B>C",  "?C>A",  "?D>C",  "?A<B",  "?B<C",  "?C<A",  "?D<C",
    "?A>=B", "?B>=C", "?C>=A", "?D>=C", "?A<=B", "?B<=C", "?C<=A", "?D<=C"};
// Moves between memory and A or C through D0 or D1, by their code.
constexpr std::array<std::string_view, 8> kMemory = {"DAT0=A", "DAT1=A", "A=DAT0", "A=DAT1",
                                                     "DAT0=C", "DAT1=C", "C=DAT0", "C=DAT1"};

struct Fixed {
    std::string_view mnemonic;
    std::string_view nibbles;
};
constexpr Fixed kFixed[] = {
    {"RTNSXM", "00"},  {"RTN", "01"},      {"RTNSC", "02"},   {"RTNCC", "03"},  {"SETHEX", "04"},
    {"SETDEC", "05"},  {"RSTK=C", "06"},   {"C=RSTK", "07"},  {"CLRST", "08"},  {"C=ST", "09"},
    {"ST=C", "0A"},    {"CSTEX", "0B"},    {"P=P+1", "0C"},   {"P=P-1", "0D"},  {"RTI", "0F"},
    {"D0=A", "130"},   {"D1=A", "131"},    {"AD0EX", "132"},  {"AD1EX", "133"}, {"D0=C", "134"},
    {"D1=C", "135"},   {"CD0EX", "136"},   {"CD1EX", "137"},  {"D0=AS", "138"}, {"D1=AS", "139"},
    {"AD0XS", "13A"},  {"AD1XS", "13B"},   {"D0=CS", "13C"},  {"D1=CS", "13D"}, {"CD0XS", "13E"},
    {"CD1XS", "13F"},  {"OUT=CS", "800"},  {"OUT=C", "801"},  {"A=IN", "802"},  {"C=IN", "803"},
    {"INTON", "8080"}, {"INTOFF", "808F"}, {"ASLC", "810"},   {"BSLC", "811"},  {"CSLC", "812"},
    {"DSLC", "813"},   {"ASRC", "814"},    {"BSRC", "815"},   {"CSRC", "816"},  {"DSRC", "817"},
    {"ASRB", "81C"},   {"BSRB", "81D"},    {"CSRB", "81E"},   {"DSRB", "81F"},  {"PC=(A)", "808C"},
    {"A=PC", "81B4"},  {"C=PC", "81B5"},   {"PC=(C)", "808E"}};

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

template <std::size_t N>
std::optional<int> IndexOf(const std::array<std::string_view, N>& table, std::string_view name) {
    const auto it = std::find(table.begin(), table.end(), name);
    if (it == table.end()) return std::nullopt;
    return int(it - table.begin());
}

class Assembler {
  public:
    std::vector<std::uint8_t> Run(std::string_view source) {
        // The first pass finds every label's address (every instruction's
        // size is known without its operands' values); the second writes.
        for (final_ = false;; final_ = true) {
            out_.clear();
            afterTest_ = false;
            lineNumber_ = 0;
            std::string_view rest = source;
            while (!rest.empty()) {
                const std::size_t end = rest.find('\n');
                Line(rest.substr(0, end));
                rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            }
            if (afterTest_) Fail("a test at the end is not followed by GOYES or RTNYES");
            if (final_) return out_;
        }
    }

  private:
    [[noreturn]] void Fail(const std::string& message) const {
        throw AssemblyError(lineNumber_, message);
    }

    int Address() const { return int(out_.size()); }

    void Line(std::string_view line) {
        ++lineNumber_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == '*') return;
        if (const std::size_t comment = line.find(';'); comment != std::string_view::npos)
            line = line.substr(0, comment);
        std::string label;
        if (!line.empty() && !std::isspace(static_cast<unsigned char>(line.front()))) {
            const std::size_t end = line.find_first_of(" \t");
            label = Upper(line.substr(0, end));
            line = end == std::string_view::npos ? std::string_view() : line.substr(end);
        }
        line = Trim(line);
        const std::size_t space = line.find_first_of(" \t");
        const std::string mnemonic = Upper(line.substr(0, space));
        const std::string operand =
            Upper(Trim(space == std::string_view::npos ? std::string_view() : line.substr(space)));
        if (mnemonic == "EQU") {
            if (label.empty()) Fail("EQU without a name");
            Define(label, Value(operand));
            return;
        }
        if (!label.empty()) Define(label, Address());
        if (mnemonic.empty()) return;
        const bool test = afterTest_;
        afterTest_ = false;
        if (mnemonic == "GOYES" || mnemonic == "RTNYES") {
            if (!test) Fail(mnemonic + " without a test before it");
            if (mnemonic == "RTNYES") return Digits(0, 2);
            return Relative(operand, Address(), 2);
        }
        if (test) Fail("a test is followed by " + mnemonic + ", not by GOYES or RTNYES");
        Instruction(mnemonic, operand);
    }

    void Define(const std::string& name, long long value) {
        const auto [it, added] = symbols_.emplace(name, value);
        if (!added && (!final_ || it->second != value)) Fail(name + " is defined twice");
    }

    // A number, symbol or label, or several joined by + and -.
    long long Value(std::string_view text) {
        text = Trim(text);
        if (text.empty()) Fail("a value is missing");
        long long total = 0;
        int sign = 1;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find_first_of("+-", at + 1);
            if (end == std::string_view::npos) end = text.size();
            total += sign * Term(Trim(text.substr(at, end - at)));
            if (end < text.size()) sign = text[end] == '-' ? -1 : 1;
            at = end + 1;
        }
        return total;
    }

    long long Term(std::string_view term) {
        if (term.empty()) Fail("a value is missing");
        const bool hex = term.front() == '#';
        const std::string_view digits = hex ? term.substr(1) : term;
        if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [&](char c) {
                return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                           : std::isdigit(static_cast<unsigned char>(c)) != 0;
            }))
            return std::stoll(std::string(digits), nullptr, hex ? 16 : 10);
        if (hex) Fail("not a hex number: " + std::string(term));
        if (const auto it = symbols_.find(std::string(term)); it != symbols_.end())
            return it->second;
        if (final_) Fail("unknown symbol " + std::string(term));
        return 0;
    }

    void Nibbles(std::string_view digits) {
        for (const char c : digits) {
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                Fail("not a hex digit: " + std::string(1, c));
            out_.push_back(std::uint8_t(std::stoi(std::string(1, c), nullptr, 16)));
        }
    }

    // `count` nibbles of `value`, low nibble first; it must fit, as a count
    // or (negative) as a two's complement.
    void Digits(long long value, int count) {
        const long long span = count < 16 ? 1LL << (4 * count) : 0;
        if (final_ && count < 16 && (value >= span || value < -span / 2))
            Fail(std::to_string(value) + " does not fit in " + std::to_string(count) + " nibbles");
        for (int i = 0; i < count; ++i)
            out_.push_back(std::uint8_t((value >> (4 * i)) & 15));
    }

    // A jump's offset: the target's distance from `from`, in `count` nibbles.
    void Relative(const std::string& target, int from, int count) {
        const long long offset = Value(target) - from;
        if (final_ && (offset >= (1LL << (4 * count - 1)) || offset < -(1LL << (4 * count - 1))))
            Fail(target + " is too far for this jump");
        Digits(offset, count);
    }

    int Field(const std::string& operand) {
        if (const auto field = IndexOf(kFields, operand)) return *field;
        if (operand == "A") return 15;
        Fail("not a field: " + operand);
    }

    int Small(const std::string& operand, int low, int high) {
        const long long value = Value(operand);
        if (value < low || value > high)
            Fail(operand + " is not within " + std::to_string(low) + ".." + std::to_string(high));
        return int(value);
    }

    // A register operation of one of the four tables: the A field's short
    // form `shortOp`, else `longOp` with the field (plus 8 for the second
    // table of each pair).
    void Register(int shortOp, int longOp, bool upper, int index, const std::string& operand) {
        const int field = Field(operand);
        if (field == 15) return Digits(shortOp, 1), Digits(index, 1);
        Digits(longOp, 1);
        Digits(field + (upper ? 8 : 0), 1);
        Digits(index, 1);
    }

    void Instruction(const std::string& m, const std::string& operand) {
        for (const Fixed& fixed : kFixed)
            if (m == fixed.mnemonic) {
                if (!operand.empty()) Fail(m + " takes no operand");
                return Nibbles(fixed.nibbles);
            }
        if (m == "NIBHEX") return Nibbles(operand);
        if (m.starts_with("CON(") || m.starts_with("REL(") || m.starts_with("LC(") ||
            m.starts_with("LA(")) {
            const std::size_t open = m.find('('), close = m.find(')');
            if (close != m.size() - 1) Fail("bad " + m);
            const int count = Small(m.substr(open + 1, close - open - 1), 1, 16);
            if (m.starts_with("CON")) return Digits(Value(operand), count);
            if (m.starts_with("REL")) return Relative(operand, Address(), count);
            if (m.starts_with("LA"))
                Nibbles("8082");
            else
                Nibbles("3");
            Digits(count - 1, 1);
            return Digits(Value(operand), count);
        }
        // R0..R4 to and from A and C, all 16 nibbles.
        if (m.size() >= 4 && (operand.empty() || operand == "W")) {
            for (int r = 0; r <= 4; ++r) {
                // Built a character at a time: GCC 12's -Wrestrict misreads
                // "R" + std::to_string(r) in an optimized build.
                const char digit = char('0' + r);
                const char high = "89ABC"[r];
                const std::string rn{'R', digit};
                const std::pair<std::string, std::string> forms[] = {
                    {rn + "=A", {'1', '0', digit}},       {rn + "=C", {'1', '0', high}},
                    {"A=" + rn, {'1', '1', digit}},       {"C=" + rn, {'1', '1', high}},
                    {"A" + rn + "EX", {'1', '2', digit}}, {"C" + rn + "EX", {'1', '2', high}}};
                for (const auto& [name, nibbles] : forms)
                    if (m == name) return Nibbles(nibbles);
            }
        }
        if (const auto i = IndexOf(kAdd, m)) return Register(0xC, 0xA, false, *i, operand);
        if (const auto i = IndexOf(kMove, m)) return Register(0xD, 0xA, true, *i, operand);
        if (const auto i = IndexOf(kSubtract, m)) return Register(0xE, 0xB, false, *i, operand);
        if (const auto i = IndexOf(kShift, m)) return Register(0xF, 0xB, true, *i, operand);
        if (const auto i = IndexOf(kEqual, m)) {
            const int field = Field(operand);
            if (field == 15)
                Nibbles("8A");
            else
                Nibbles("9"), Digits(field, 1);
            afterTest_ = true;
            return Digits(*i, 1);
        }
        if (const auto i = IndexOf(kOrder, m)) {
            const int field = Field(operand);
            if (field == 15)
                Nibbles("8B");
            else
                Nibbles("9"), Digits(field + 8, 1);
            afterTest_ = true;
            return Digits(*i, 1);
        }
        if (const auto i = IndexOf(kMemory, m)) {
            if (operand == "A" || operand == "B") {
                Nibbles("14");
                return Digits(*i + (operand == "B" ? 8 : 0), 1);
            }
            Nibbles("15");
            if (IndexOf(kFields, operand)) return Digits(*i, 1), Digits(Field(operand), 1);
            return Digits(*i + 8, 1), Digits(Small(operand, 1, 16) - 1, 1);
        }
        const std::pair<std::string_view, std::string_view> steps[] = {
            {"D0=D0+", "16"}, {"D1=D1+", "17"}, {"D0=D0-", "18"}, {"D1=D1-", "1C"}};
        for (const auto& [name, nibbles] : steps)
            if (m == name) return Nibbles(nibbles), Digits(Small(operand, 1, 16) - 1, 1);
        const std::pair<std::string_view, std::string_view> loads[] = {
            {"D0=(2)", "19"}, {"D0=(4)", "1A"}, {"D0=(5)", "1B"},
            {"D1=(2)", "1D"}, {"D1=(4)", "1E"}, {"D1=(5)", "1F"}};
        for (const auto& [name, nibbles] : loads)
            if (m == name) {
                Nibbles(nibbles);
                // Two or four nibbles set the pointer's low nibbles only.
                const int count = name[4] - '0';
                return Digits(Value(operand) & ((1 << (4 * count)) - 1), count);
            }
        if (m == "P=") return Nibbles("2"), Digits(Small(operand, 0, 15), 1);
        // r=r+CON f,n and r=r-CON f,n: n from 1 to 16.
        if (m.size() == 7 && m.ends_with("CON") && m[1] == '=' && m[0] == m[2] &&
            (m[3] == '+' || m[3] == '-') && m[0] >= 'A' && m[0] <= 'D') {
            const std::size_t comma = operand.find(',');
            if (comma == std::string::npos) Fail(m + " takes a field and a number: A,7");
            Nibbles("818");
            Digits(Field(operand.substr(0, comma)), 1);
            Digits((m[0] - 'A') + (m[3] == '-' ? 8 : 0), 1);
            return Digits(Small(operand.substr(comma + 1), 1, 16) - 1, 1);
        }
        const std::pair<std::string_view, std::string_view> bits[] = {
            {"ABIT=0", "4"}, {"ABIT=1", "5"}, {"?ABIT=0", "6"}, {"?ABIT=1", "7"},
            {"CBIT=0", "8"}, {"CBIT=1", "9"}, {"?CBIT=0", "A"}, {"?CBIT=1", "B"}};
        for (const auto& [name, nibbles] : bits)
            if (m == name) {
                Nibbles("808");
                Nibbles(nibbles);
                afterTest_ = m.front() == '?';
                return Digits(Small(operand, 0, 15), 1);
            }
        const std::pair<std::string_view, std::string_view> status[] = {
            {"ST=0", "84"},  {"ST=1", "85"}, {"?ST=0", "86"},
            {"?ST=1", "87"}, {"?P#", "88"},  {"?P=", "89"}};
        for (const auto& [name, nibbles] : status)
            if (m == name) {
                Nibbles(nibbles);
                afterTest_ = m.front() == '?';
                return Digits(Small(operand, 0, 15), 1);
            }
        // Jumps: relative ones count from the given distance past their
        // start; the very long ones take an absolute address.
        const int at = Address();
        if (m == "GOC") return Nibbles("4"), Relative(operand, at + 1, 2);
        if (m == "GONC") return Nibbles("5"), Relative(operand, at + 1, 2);
        if (m == "GOTO") return Nibbles("6"), Relative(operand, at + 1, 3);
        if (m == "GOSUB") return Nibbles("7"), Relative(operand, at + 4, 3);
        if (m == "GOLONG") return Nibbles("8C"), Relative(operand, at + 2, 4);
        if (m == "GOSUBL") return Nibbles("8E"), Relative(operand, at + 6, 4);
        if (m == "GOVLNG") return Nibbles("8D"), Digits(Small(operand, 0, 0xFFFFF), 5);
        if (m == "GOSBVL") return Nibbles("8F"), Digits(Small(operand, 0, 0xFFFFF), 5);
        Fail("unknown instruction " + m);
    }

    bool final_ = false;
    bool afterTest_ = false;
    int lineNumber_ = 0;
    std::vector<std::uint8_t> out_;
    std::map<std::string, long long> symbols_;
};

} // namespace

std::vector<std::uint8_t> Assemble(std::string_view source) {
    return Assembler().Run(source);
}

} // namespace saturn
