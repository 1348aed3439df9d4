// A named, typed value that can also be a structure of named members or an array of elements, addressed by
// dotted paths such as "video.modes[2].width". The script manager converts script tables to and from these
// trees. A variable owns its text or byte-block value, its members or elements, its array count child and its
// template; copies are deep.
#pragma once

#include "Common/Array.h"
#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

// The low byte of `Variable::type` is the value type; VariableArray marks an array of that value type.
enum VariableType : uint32_t
{
    VariableNone = 0,
    VariableBool = 2,
    VariableWChar = 3,
    VariableInt8 = 4,
    VariableInt16 = 5,
    VariableInt32 = 6,
    VariableInt64 = 7,
    VariableUInt8 = 8,
    VariableUInt16 = 9,
    VariableUInt32 = 10, // also the type of an array's "#" count child
    VariableUInt64 = 11,
    VariableFloat = 12,
    VariableDouble = 13, // script numbers
    VariableBinary = 14, // owned bytes and their length
    VariableText = 15,   // owned UTF-16 text, null for the empty text
    VariablePointer = 16,
    VariableFunction = 17, // a script function reference
    VariableStruct = 128,
    VariableArray = 0x100,
    VariableValueMask = 0xFF,
};

// The value bytes. Integers narrower than 64 bits sit in the low bytes and the other bytes stay zero.
// Eight bytes on 32-bit targets; a byte block's pointer widens the union on 64-bit ones.
union VariableValue
{
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    float f32;
    double f64;
    char16_t* text;
    void* pointer;
    struct
    {
        uint8_t* bytes;
        uint32_t length;
    } block;
};
static_assert(sizeof(void*) != 4 || sizeof(VariableValue) == 8, "the 32-bit layout keeps eight value bytes");

class Variable
{
public:
    explicit Variable(const char16_t* name = u"", uint32_t type = VariableNone);
    Variable(const Variable& other) : Variable() { CopyFrom(other); }
    Variable& operator=(const Variable& other);
    ~Variable() { Clear(); }

    void Reset(const char16_t* name, uint32_t type);    // Clear, then as construction
    void Clear();                                       // frees everything owned; type 0, empty name
    void Assign(const Variable& other);                 // deep copy
    void SetText(const char16_t* text);                 // type 15 only; null or "" keeps no text
    void SetBinary(const void* bytes, uint32_t length); // type 14 only; a copy of the bytes

    uint32_t ValueType() const { return type & VariableValueMask; }
    bool IsArray() const { return (type & VariableArray) != 0; }
    bool IsEmpty() const { return type == VariableNone; }

    // Numeric reads: floats and doubles convert, integer types read their bits; texts, pointers, byte blocks
    // and structures give 0.
    double AsDouble() const;   // integers from their low 32 bits, signed
    int32_t AsInt() const;     // floats truncated toward zero
    int64_t AsInt64() const;   // floats truncated to 32 bits, then widened
    uint64_t AsUInt64() const; // floats converted to 64 bits

    Variable& Child(int32_t index);                        // the empty variable when out of range
    Variable& Find(const char16_t* path);                  // the empty variable when absent
    Variable& Create(const char16_t* path, uint32_t type); // the empty variable below a non-structure
    void AddElements(int32_t count);                       // arrays only: elements "[n]" appended

    // The one process-wide empty variable that failed lookups return. Test for it, never write to it.
    static Variable& Empty();

    String name;
    uint32_t type = VariableNone;
    VariableValue value;
    double key = 0;                // the numeric key the variable was found under in a script table
    int32_t hasKey = 0;            // 1 when `key` holds such a key
    Variable* mTemplate = nullptr; // arrays of structures: the shape of every element (type 128), owned
    Variable* counter = nullptr;   // arrays: the "#" child (type 10) holding the element count, owned
    Array<Variable*> children;     // members or elements "[0]", "[1]" ..., owned

private:
    void Construct(const char16_t* name, uint32_t type);
    void CopyFrom(const Variable& other); // deep, into a variable that owns nothing
    void FreeValue();
    Variable* Member(const String& memberName) const; // the first child so named, or null
    Variable* Append(Variable* child);                // takes `child` (null when out of memory)
};

} // namespace Zelto
