// Pattern parsing and code generation: a recursive-descent parser that emits the program as it reads (the
// recursion follows the pattern's group nesting, which is capped, never the subject).
#include "Regex/Regex.h"

#include <cstddef>
#include <new>

namespace Zelto
{
namespace
{

constexpr uint32_t Unbounded = 0xFFFFFFFFu;

// The class escapes, as sorted disjoint ranges.
constexpr RegexRange DigitRanges[] = {{u'0', u'9'}};
constexpr RegexRange WordRanges[] = {{u'0', u'9'}, {u'A', u'Z'}, {u'_', u'_'}, {u'a', u'z'}};
constexpr RegexRange SpaceRanges[] = {{u'\t', u'\r'}, {u' ', u' '}};

template <size_t N>
void AppendRanges(const RegexRange (&ranges)[N], bool complement, std::vector<RegexRange>& out)
{
    if (!complement)
    {
        out.insert(out.end(), ranges, ranges + N);
        return;
    }
    uint32_t next = 0; // first unit not yet covered
    for (const RegexRange& range : ranges)
    {
        if (range.first > next)
            out.push_back({char16_t(next), char16_t(range.first - 1)});
        next = range.last + 1u;
    }
    if (next <= 0xFFFF)
        out.push_back({char16_t(next), u'\xFFFF'});
}

// The ranges of a class escape letter (d D w W s S); false for any other letter.
bool AppendClassEscape(char16_t letter, std::vector<RegexRange>& out)
{
    switch (letter)
    {
    case u'd':
    case u'D':
        AppendRanges(DigitRanges, letter == u'D', out);
        return true;
    case u'w':
    case u'W':
        AppendRanges(WordRanges, letter == u'W', out);
        return true;
    case u's':
    case u'S':
        AppendRanges(SpaceRanges, letter == u'S', out);
        return true;
    default:
        return false;
    }
}

bool IsAsciiAlnum(char16_t ch)
{
    return (ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z');
}

bool IsQuantifierStart(char16_t ch)
{
    return ch == u'*' || ch == u'+' || ch == u'?' || ch == u'{';
}

class Compiler
{
public:
    Compiler(const char16_t* pattern, uint32_t length, RegexProgram& program)
        : mPattern(pattern), mLength(length), mProgram(program)
    {
    }

    bool Run();

private:
    bool ParseAlternation(bool& nullable);
    bool ParseSequence(bool& nullable);
    bool ParseAtom(bool& nullable);
    bool ParseGroup(bool& nullable);
    bool ParseBracket();
    bool ParseClassItem(char16_t& unit, bool& isClass, std::vector<RegexRange>& ranges);
    bool ParseEscape(char16_t& unit, bool& isClass, std::vector<RegexRange>& ranges);
    bool ParseQuantifier(uint32_t bodyStart, bool& nullable);
    bool ParseBounds(uint32_t& min, uint32_t& max);
    bool ParseNumber(uint32_t& value);
    bool Repeat(uint32_t bodyStart, bool nullable, uint32_t min, uint32_t max, bool greedy);

    void Emit(RegexOp op, uint32_t arg = 0, int32_t next = 1, int32_t other = 0)
    {
        mProgram.code.push_back({op, arg, next, other});
    }
    void EmitSplit(int32_t more, int32_t fewer, bool greedy) // `more` continues the repetition
    {
        Emit(RegexOp::Split, 0, greedy ? more : fewer, greedy ? fewer : more);
    }
    void EmitSet(const std::vector<RegexRange>& ranges, bool negated);
    uint32_t Size() const { return uint32_t(mProgram.code.size()); }
    bool AtEnd() const { return mPosition >= mLength; }
    char16_t Peek() const { return mPattern[mPosition]; } // only when !AtEnd()

    const char16_t* mPattern;
    uint32_t mLength;
    uint32_t mPosition = 0;
    uint32_t mNesting = 0;
    RegexProgram& mProgram;
};

bool Compiler::Run()
{
    bool nullable;
    if (!ParseAlternation(nullable) || !AtEnd()) // a stray ')' stops the top level early
        return false;
    Emit(RegexOp::Match);
    return Size() <= Regex::MaxInstructions;
}

// Branches a|b|c become: Split(a, next) a Jump(end) Split(b, next) b Jump(end) c.
bool Compiler::ParseAlternation(bool& nullable)
{
    std::vector<uint32_t> exits; // the Jumps that end a branch, patched once the end is known
    nullable = false;
    for (;;)
    {
        uint32_t branchStart = Size();
        bool branchNullable;
        if (!ParseSequence(branchNullable))
            return false;
        nullable = nullable || branchNullable;
        if (AtEnd() || Peek() != u'|')
            break;
        ++mPosition;
        mProgram.code.insert(mProgram.code.begin() + branchStart, {RegexOp::Split, 0, 1, 0});
        exits.push_back(Size());
        Emit(RegexOp::Jump);
        mProgram.code[branchStart].other = int32_t(Size() - branchStart);
        if (Size() > Regex::MaxInstructions) // empty branches grow the program without any atom
            return false;
    }
    for (uint32_t exit : exits)
        mProgram.code[exit].next = int32_t(Size() - exit);
    return true;
}

bool Compiler::ParseSequence(bool& nullable)
{
    nullable = true;
    while (!AtEnd() && Peek() != u'|' && Peek() != u')')
    {
        uint32_t atomStart = Size();
        bool atomNullable;
        if (!ParseAtom(atomNullable) || !ParseQuantifier(atomStart, atomNullable))
            return false;
        nullable = nullable && atomNullable;
        if (Size() > Regex::MaxInstructions)
            return false;
    }
    return true;
}

bool Compiler::ParseAtom(bool& nullable)
{
    nullable = false;
    char16_t ch = mPattern[mPosition++];
    switch (ch)
    {
    case u'(':
        return ParseGroup(nullable);
    case u'[':
        return ParseBracket();
    case u'.':
        Emit(RegexOp::Any);
        return true;
    case u'^':
    case u'$':
        Emit(ch == u'^' ? RegexOp::Begin : RegexOp::End);
        nullable = true;
        return true;
    case u'*':
    case u'+':
    case u'?':
    case u'{':
        return false; // nothing to repeat
    case u'\\':
    {
        std::vector<RegexRange> ranges;
        bool isClass;
        if (!ParseEscape(ch, isClass, ranges))
            return false;
        if (isClass)
            EmitSet(ranges, false);
        else
            Emit(RegexOp::Unit, ch);
        return true;
    }
    default:
        Emit(RegexOp::Unit, ch);
        return true;
    }
}

bool Compiler::ParseGroup(bool& nullable)
{
    if (mNesting == Regex::MaxNesting)
        return false;
    if (!AtEnd() && Peek() == u'?')
    {
        // Only the non-capturing form; look-arounds, named and atomic groups are not supported.
        if (mPosition + 1 >= mLength || mPattern[mPosition + 1] != u':')
            return false;
        mPosition += 2;
    }
    ++mNesting;
    bool parsed = ParseAlternation(nullable);
    --mNesting;
    if (!parsed || AtEnd() || Peek() != u')')
        return false;
    ++mPosition;
    return true;
}

bool Compiler::ParseBracket()
{
    bool negated = !AtEnd() && Peek() == u'^';
    if (negated)
        ++mPosition;
    std::vector<RegexRange> ranges;
    for (bool first = true;; first = false)
    {
        if (AtEnd())
            return false;
        if (Peek() == u']' && !first)
            break;
        char16_t low;
        bool lowIsClass;
        if (!ParseClassItem(low, lowIsClass, ranges))
            return false;
        // A '-' just before the closing ']' is a literal; a range from or to a class escape is an error.
        bool isRange =
            !AtEnd() && Peek() == u'-' && mPosition + 1 < mLength && mPattern[mPosition + 1] != u']';
        if (!isRange)
        {
            if (!lowIsClass)
                ranges.push_back({low, low});
            continue;
        }
        ++mPosition;
        char16_t high;
        bool highIsClass;
        if (lowIsClass || !ParseClassItem(high, highIsClass, ranges) || highIsClass || high < low)
            return false;
        ranges.push_back({low, high});
    }
    ++mPosition;
    EmitSet(ranges, negated);
    return true;
}

bool Compiler::ParseClassItem(char16_t& unit, bool& isClass, std::vector<RegexRange>& ranges)
{
    unit = mPattern[mPosition++];
    isClass = false;
    return unit != u'\\' || ParseEscape(unit, isClass, ranges);
}

// After a backslash: a class escape appends its ranges and sets isClass, any other escape gives its unit.
bool Compiler::ParseEscape(char16_t& unit, bool& isClass, std::vector<RegexRange>& ranges)
{
    if (AtEnd())
        return false;
    unit = mPattern[mPosition++];
    isClass = AppendClassEscape(unit, ranges);
    if (isClass)
        return true;
    switch (unit)
    {
    case u'n':
        unit = u'\n';
        return true;
    case u'r':
        unit = u'\r';
        return true;
    case u't':
        unit = u'\t';
        return true;
    case u'f':
        unit = u'\f';
        return true;
    case u'v':
        unit = u'\v';
        return true;
    default:
        return !IsAsciiAlnum(unit); // \b, \1, \x and the like mean something this engine does not do
    }
}

bool Compiler::ParseQuantifier(uint32_t bodyStart, bool& nullable)
{
    if (AtEnd() || !IsQuantifierStart(Peek()))
        return true;
    uint32_t min = 0;
    uint32_t max = Unbounded;
    switch (mPattern[mPosition++])
    {
    case u'+':
        min = 1;
        break;
    case u'?':
        max = 1;
        break;
    case u'{':
        if (!ParseBounds(min, max))
            return false;
        break;
    default: // '*'
        break;
    }
    bool greedy = AtEnd() || Peek() != u'?';
    if (!greedy)
        ++mPosition;
    if (!AtEnd() && IsQuantifierStart(Peek())) // no possessive or stacked quantifiers
        return false;
    if (!Repeat(bodyStart, nullable, min, max, greedy))
        return false;
    nullable = nullable || min == 0;
    return true;
}

// After '{': "m}", "m,}" or "m,n}".
bool Compiler::ParseBounds(uint32_t& min, uint32_t& max)
{
    if (!ParseNumber(min) || AtEnd())
        return false;
    max = min;
    if (Peek() == u',')
    {
        ++mPosition;
        max = Unbounded;
        if (!AtEnd() && Peek() != u'}' && !ParseNumber(max))
            return false;
    }
    if (AtEnd() || Peek() != u'}' || min > max)
        return false;
    ++mPosition;
    return true;
}

bool Compiler::ParseNumber(uint32_t& value)
{
    uint32_t start = mPosition;
    value = 0;
    while (!AtEnd() && Peek() >= u'0' && Peek() <= u'9')
    {
        value = value * 10 + uint32_t(Peek() - u'0');
        if (value > Regex::MaxRepeat)
            return false;
        ++mPosition;
    }
    return mPosition != start;
}

// Replaces the body code at the end of the program with its repetition: `min` plain copies, then either a
// loop
//     L: Split(body, exit) [Mark] body [Check] Jump L
// (Mark and Check only when the body can match the empty text: a pass that consumed nothing leaves the loop,
// as in Perl, so it cannot spin) or (max - min) optional copies
//     Split(body, exit) body Split(body, exit) body ... exit
// where every Split leaves for the same exit, so a failure does not retry shorter counts one by one.
bool Compiler::Repeat(uint32_t bodyStart, bool nullable, uint32_t min, uint32_t max, bool greedy)
{
    std::vector<RegexInstruction> body(mProgram.code.begin() + bodyStart, mProgram.code.end());
    mProgram.code.resize(bodyStart);
    uint64_t n = body.size();
    uint64_t loopExtra = nullable ? 4 : 2;
    uint64_t total = min * n + (max == Unbounded ? n + loopExtra : (max - min) * (n + 1));
    if (bodyStart + total > Regex::MaxInstructions)
        return false;

    for (uint32_t i = 0; i < min; ++i)
        mProgram.code.insert(mProgram.code.end(), body.begin(), body.end());
    if (max == Unbounded)
    {
        uint32_t loop = Size();
        EmitSplit(1, int32_t(n + loopExtra), greedy);
        uint32_t slot = mProgram.slotCount;
        if (nullable)
        {
            ++mProgram.slotCount;
            Emit(RegexOp::Mark, slot);
        }
        mProgram.code.insert(mProgram.code.end(), body.begin(), body.end());
        if (nullable)
            Emit(RegexOp::Check, slot, 1, 2); // past the Jump back
        Emit(RegexOp::Jump, 0, int32_t(loop) - int32_t(Size()));
        return true;
    }
    uint32_t exit = uint32_t(Size() + (max - min) * (n + 1));
    for (uint32_t i = min; i < max; ++i)
    {
        EmitSplit(1, int32_t(exit - Size()), greedy);
        mProgram.code.insert(mProgram.code.end(), body.begin(), body.end());
    }
    return true;
}

void Compiler::EmitSet(const std::vector<RegexRange>& ranges, bool negated)
{
    mProgram.sets.push_back({uint32_t(mProgram.ranges.size()), uint32_t(ranges.size()), negated});
    mProgram.ranges.insert(mProgram.ranges.end(), ranges.begin(), ranges.end());
    Emit(RegexOp::Set, uint32_t(mProgram.sets.size() - 1));
}

} // namespace

bool RegexCompile(const char16_t* pattern, uint32_t length, RegexProgram& program)
{
    program = RegexProgram();
    bool compiled = false;
    try
    {
        compiled = Compiler(pattern, length, program).Run();
    }
    catch (const std::bad_alloc&)
    {
    }
    if (!compiled)
        program = RegexProgram();
    return compiled;
}

} // namespace Zelto
