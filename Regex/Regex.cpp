// The backtracking matcher: runs the compiled program from each start position in turn, keeping the choice
// points (and the loop slots to restore) on a heap stack, so deep subjects never deepen the call stack.
#include "Regex/Regex.h"

#include <new>

namespace Zelto
{
namespace
{

// A choice point: resume at `pc` with `position`; with RestoreFlag set in `pc`, put `position` back into the
// slot named by the other bits instead.
struct Frame
{
    uint32_t pc;
    uint32_t position;
};
constexpr uint32_t RestoreFlag = 0x80000000u; // programs and their slots number far fewer than 2^31

bool InSet(const RegexProgram& program, const RegexSet& set, char16_t unit)
{
    const RegexRange* range = program.ranges.data() + set.firstRange;
    for (uint32_t i = 0; i < set.rangeCount; ++i, ++range)
        if (unit >= range->first && unit <= range->last)
            return !set.negated;
    return set.negated;
}

// The work state of one Search, shared by its start positions so that the caps cover the whole search.
class Matcher
{
public:
    Matcher(const RegexProgram& program, const char16_t* text, uint32_t length)
        : mProgram(program), mText(text), mLength(length), mSlots(program.slotCount),
          mStepsLeft(Regex::BaseSteps + Regex::StepsPerUnit * length),
          mFrameLimit(Regex::BaseFrames + Regex::FramesPerUnit * length)
    {
    }

    Regex::Result Run(uint32_t start, uint32_t& end);

private:
    bool Push(uint32_t pc, uint32_t position);
    bool Consume(const RegexInstruction& instruction, uint32_t& position) const;

    const RegexProgram& mProgram;
    const char16_t* mText;
    uint32_t mLength;
    std::vector<Frame> mFrames;
    std::vector<uint32_t> mSlots; // a Mark always runs before the Check of its slot, so no reset is needed
    uint64_t mStepsLeft;
    uint64_t mFrameLimit;
};

bool Matcher::Push(uint32_t pc, uint32_t position)
{
    if (mFrames.size() >= mFrameLimit)
        return false;
    mFrames.push_back({pc, position});
    return true;
}

// The checks of Unit, Any and Set: true, and the unit consumed, when the unit at `position` fits.
bool Matcher::Consume(const RegexInstruction& instruction, uint32_t& position) const
{
    if (position >= mLength)
        return false;
    char16_t unit = mText[position];
    bool fits = instruction.op == RegexOp::Any ||
                (instruction.op == RegexOp::Unit ? unit == instruction.arg
                                                 : InSet(mProgram, mProgram.sets[instruction.arg], unit));
    position += fits ? 1 : 0;
    return fits;
}

Regex::Result Matcher::Run(uint32_t start, uint32_t& end)
{
    mFrames.clear();
    mFrames.push_back({0, start});
    while (!mFrames.empty())
    {
        Frame frame = mFrames.back();
        mFrames.pop_back();
        if (frame.pc & RestoreFlag)
        {
            mSlots[frame.pc & ~RestoreFlag] = frame.position;
            continue;
        }
        // Follow this path until it fails; each choice on the way leaves a frame for its alternative.
        uint32_t pc = frame.pc;
        uint32_t position = frame.position;
        for (bool alive = true; alive;)
        {
            if (mStepsLeft == 0)
                return Regex::Result::TooComplex;
            --mStepsLeft;
            const RegexInstruction& instruction = mProgram.code[pc];
            int32_t offset = instruction.next;
            switch (instruction.op)
            {
            case RegexOp::Unit:
            case RegexOp::Any:
            case RegexOp::Set:
                alive = Consume(instruction, position);
                break;
            case RegexOp::Begin:
                alive = position == 0;
                break;
            case RegexOp::End:
                alive = position == mLength;
                break;
            case RegexOp::Split:
                if (!Push(uint32_t(int32_t(pc) + instruction.other), position))
                    return Regex::Result::TooComplex;
                break;
            case RegexOp::Jump:
                break;
            case RegexOp::Mark:
                if (!Push(RestoreFlag | instruction.arg, mSlots[instruction.arg]))
                    return Regex::Result::TooComplex;
                mSlots[instruction.arg] = position;
                break;
            case RegexOp::Check:
                if (mSlots[instruction.arg] == position)
                    offset = instruction.other;
                break;
            case RegexOp::Match:
                end = position;
                return Regex::Result::Found;
            }
            pc = uint32_t(int32_t(pc) + offset);
        }
    }
    return Regex::Result::NotFound;
}

} // namespace

bool Regex::Compile(const char16_t* pattern, uint32_t length)
{
    return RegexCompile(pattern, length, mProgram);
}

Regex::Result Regex::Search(const char16_t* text, uint32_t length, uint32_t from, uint32_t& start,
                            uint32_t& end) const
{
    if (!IsCompiled() || from > length)
        return Result::NotFound;
    try
    {
        Matcher matcher(mProgram, text, length);
        for (uint32_t at = from;; ++at)
        {
            Result result = matcher.Run(at, end);
            if (result == Result::Found)
                start = at;
            if (result != Result::NotFound || at == length)
                return result;
        }
    }
    catch (const std::bad_alloc&) // the choice points did not fit in memory: the same as reaching the cap
    {
        return Result::TooComplex;
    }
}

} // namespace Zelto
