// The compiled form of a regular expression: a small program run by the backtracking matcher (Regex.cpp).
// Jumps are relative offsets, so a piece of code can be copied (counted repetition) or shifted (alternation)
// without relocating it.
#pragma once

#include <cstdint>
#include <vector>

namespace Zelto
{

enum class RegexOp : uint8_t
{
    Unit,  // the subject unit equals `arg`, and is consumed
    Any,   // any subject unit is consumed
    Set,   // a subject unit in sets[arg] is consumed
    Begin, // at the start of the subject
    End,   // at the end of the subject
    Split, // go on at `next`; when that fails, at `other`
    Jump,  // go on at `next`
    Mark,  // slots[arg] = position; undone when the matcher backtracks across it
    Check, // go on at `other` (out of the loop) when position == slots[arg]: the pass consumed nothing
    Match, // the match ends here
};

struct RegexInstruction
{
    RegexOp op;
    uint32_t arg;
    int32_t next;  // offset of the instruction that follows on success (1 for all but Split and Jump)
    int32_t other; // Split: offset of the alternative; Check: offset of the loop's exit
};

struct RegexRange
{
    char16_t first, last; // inclusive
};

struct RegexSet
{
    uint32_t firstRange, rangeCount; // in RegexProgram::ranges
    bool negated;
};

struct RegexProgram
{
    std::vector<RegexInstruction> code; // empty: nothing compiled
    std::vector<RegexRange> ranges;
    std::vector<RegexSet> sets;
    uint32_t slotCount = 0; // one slot per loop whose body can match the empty text
};

// Fills `program` from `length` units of `pattern`; false (and an empty program) when the pattern is
// malformed, uses something this engine does not support, or exceeds the limits in Regex.h.
bool RegexCompile(const char16_t* pattern, uint32_t length, RegexProgram& program);

} // namespace Zelto
