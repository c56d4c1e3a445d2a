// The compiled form of a regular expression, shared by the compiler that
// writes it and the matcher that runs it: node opcodes, the node layout and
// the modifier bits.
#pragma once

#include <cstdint>
#include <cstring>

namespace ond::regexprog {

// Node opcodes of the compiled program.
enum : std::uint8_t {
  EEND = 0,
  BOL = 1,
  EOL = 2,
  ANY = 3,
  BRANCH = 6,
  BACK = 7,
  EXACTLY = 8,
  NOTHING = 9,
  STAR = 10,
  PLUS = 11,
  ANYDIGIT = 12,
  NOTDIGIT = 13,
  BRACES = 18,
  COMMENT = 19,
  EXACTLYCI = 20,
  LOOPENTRY = 23,
  LOOP = 24,
  ANYOFTINYSET = 25,
  ANYBUTTINYSET = 26,
  ANYOFFULLSET = 27,
  BSUBEXP = 28,
  BSUBEXPCI = 29,
  STARNG = 30,
  PLUSNG = 31,
  BRACESNG = 32,
  LOOPNG = 33,
  BOLML = 34,
  EOLML = 35,
  ANYML = 36,
  BOUND = 37,
  NOTBOUND = 38,
  OPEN = 39,   // + group number 1 .. 14
  CLOSE = 54,  // + group number 1 .. 14
};

constexpr std::uint8_t kMagic = 216;
// Opcode byte and the signed 32-bit offset of the next node.
constexpr int kNodeSize = 5;

constexpr int kModI = 1, kModR = 2, kModS = 4, kModG = 8, kModM = 16, kModX = 32;

// Counts of repeats: the largest a pattern may give, and "no upper bound".
constexpr std::int32_t kBracesInfinite = 2147483646;
constexpr std::int32_t kRepeatInfinite = 2147483647;

inline std::int32_t Read32(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void Write32(std::uint8_t* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }

inline const std::uint8_t* NextNode(const std::uint8_t* node) {
  const std::int32_t off = Read32(node + 1);
  return off == 0 ? nullptr : node + off;
}

inline const std::uint8_t* Operand(const std::uint8_t* node) { return node + kNodeSize; }

// Group numbers of OPEN and CLOSE nodes run 1 .. kGroupOpcodes - 1.
constexpr int kGroupOpcodes = CLOSE - OPEN;
inline bool IsOpen(std::uint8_t op) { return op > OPEN && op < OPEN + kGroupOpcodes; }
inline bool IsClose(std::uint8_t op) { return op > CLOSE && op < CLOSE + kGroupOpcodes; }

// The counts a repeat node allows, whether it tries the largest first, and
// its operand.
struct RepeatBounds {
  std::int64_t min = 0;
  std::int64_t max = kRepeatInfinite;
  bool greedy = true;
  const std::uint8_t* operand = nullptr;
};

inline RepeatBounds BoundsOf(const std::uint8_t* repeat) {
  RepeatBounds b;
  const std::uint8_t op = repeat[0];
  b.operand = Operand(repeat);
  if (op == PLUS || op == PLUSNG) b.min = 1;
  if (op == BRACES || op == BRACESNG) {
    b.min = Read32(repeat + kNodeSize);
    b.max = Read32(repeat + kNodeSize + 4);
    b.operand = repeat + kNodeSize + 8;
  }
  b.greedy = op == STAR || op == PLUS || op == BRACES;
  return b;
}

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

inline bool InSet(const std::uint8_t* bits, unsigned char c) { return (bits[c >> 3] >> (c & 7)) & 1; }

}  // namespace ond::regexprog
