// A small backtracking regular-expression engine over UTF-16 code units.
//
// Syntax: literal units; `.` (any unit, line breaks included); escapes `\d \D \w \W \s \S` (ASCII digits,
// word characters [0-9A-Za-z_] and white space [\t\n\v\f\r ]), `\n \r \t \f \v`, and a backslash before any
// other character that is not an ASCII letter or digit stands for that character (`\[ \] \. \\ \" \:`);
// bracket classes with ranges, class escapes and negation `[^...]` (a `]` first, or a `-` first or last, in
// the class is literal); groups `( )` and `(?: )`, which capture nothing; alternation `|`; the quantifiers
// `* + ? {m} {m,} {m,n}`, greedy or lazy with a trailing `?`; anchors `^` and `$` at the start and end of the
// whole subject. Anything else that looks like syntax (other escaped letters or digits, `(?` forms,
// possessive or stacked quantifiers, a `{` that is no quantifier) is rejected at compile time, so an
// unsupported pattern never matches silently.
//
// Semantics: the leftmost match; among matches at the same start, the first one in backtracking order
// (greedy quantifiers try more, lazy ones fewer, alternatives left to right). As in Perl, a loop pass that
// consumes nothing ends the loop. Case-sensitive, by code unit: a surrogate pair is two units.
//
// The matcher keeps its choice points on a heap stack, never on the call stack, and caps the work of one
// search (see the limits below); a search that reaches a cap stops with TooComplex.
#pragma once

#include "Regex/RegexProgram.h"

#include <cstdint>

namespace Zelto
{

class Regex
{
public:
    enum class Result
    {
        Found,
        NotFound,
        TooComplex, // a work cap was reached before the search could decide
    };

    // Compile-time limits: a larger pattern fails to compile.
    static constexpr uint32_t MaxInstructions = 16384; // program size, counted repetition expanded
    static constexpr uint32_t MaxRepeat = 1000;        // largest bound of {m,n}
    static constexpr uint32_t MaxNesting = 64;         // groups inside groups

    // Work caps of one Search over a subject of n units: at most BaseSteps + StepsPerUnit * n instructions
    // executed and BaseFrames + FramesPerUnit * n choice points held at once (8 bytes each).
    static constexpr uint64_t BaseSteps = 1u << 24;
    static constexpr uint64_t StepsPerUnit = 64;
    static constexpr uint64_t BaseFrames = 1u << 16;
    static constexpr uint64_t FramesPerUnit = 8;

    bool Compile(const char16_t* pattern, uint32_t length); // false when malformed; the old program is gone
    bool IsCompiled() const { return !mProgram.code.empty(); }

    // Searches `length` units of `text` for the leftmost match starting at `from` or later; `^` still means
    // index 0. On Found, [start, end) is the match; otherwise start and end are left alone.
    Result Search(const char16_t* text, uint32_t length, uint32_t from, uint32_t& start, uint32_t& end) const;

private:
    RegexProgram mProgram;
};

} // namespace Zelto
