// Variables: construction, deep copies, owned values, numeric reads and path lookups.
#include "Common/Variable.h"

#include "Common/Assert.h"
#include "Common/NumberCast.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringFormatter.h"

#include <new>

namespace Zelto
{

namespace
{

// Texts, pointers, byte blocks and structures have no numeric reading.
bool HasNumber(uint32_t valueType)
{
    return valueType != VariableBinary && valueType != VariableText && valueType != VariablePointer &&
           valueType != VariableStruct;
}

// A float or double value, as a double.
bool Floating(const Variable& variable, double& number)
{
    if (variable.ValueType() == VariableFloat)
        number = variable.value.f32;
    else if (variable.ValueType() == VariableDouble)
        number = variable.value.f64;
    else
        return false;
    return true;
}

char16_t* CopyText(const char16_t* text)
{
    uint32_t length = TextLength(text);
    if (length == 0)
        return nullptr;
    auto* copy = static_cast<char16_t*>(Memory::Alloc(Memory::BlockSize(length + 1, sizeof(char16_t))));
    if (copy != nullptr)
        Memory::Copy(copy, text, (length + 1) * sizeof(char16_t));
    return copy;
}

} // namespace

Variable::Variable(const char16_t* name, uint32_t type)
{
    Construct(name, type);
}

Variable& Variable::operator=(const Variable& other)
{
    Assign(other);
    return *this;
}

void Variable::Construct(const char16_t* newName, uint32_t newType)
{
    name.Assign(newName != nullptr ? newName : u"");
    type = newType;
    Memory::Set(&value, 0, sizeof value);
    key = 0;
    hasKey = 0;
    if (IsArray())
    {
        counter = new (std::nothrow) Variable(u"#", VariableUInt32);
        if (ValueType() == VariableStruct)
            mTemplate = new (std::nothrow) Variable(u"", VariableStruct);
    }
}

void Variable::Reset(const char16_t* newName, uint32_t newType)
{
    String kept(newName); // the name may be this variable's own
    Clear();
    Construct(kept.Text(), newType);
}

void Variable::FreeValue()
{
    if (type == VariableText)
        Memory::Free(value.text);
    else if (type == VariableBinary)
        Memory::Free(value.block.bytes);
    Memory::Set(&value, 0, sizeof value);
}

void Variable::Clear()
{
    FreeValue();
    name = String();
    type = VariableNone;
    key = 0;
    hasKey = 0;
    delete counter;
    delete mTemplate;
    counter = mTemplate = nullptr;
    for (Variable* child : children)
        delete child;
    children.Clear();
}

void Variable::Assign(const Variable& other)
{
    if (&other == this)
        return;
    // Copied before anything here goes: `other` may be one of this variable's own members or elements.
    Variable copy;
    copy.CopyFrom(other);
    Clear();
    name = copy.name;
    type = copy.type;
    value = copy.value;
    key = copy.key;
    hasKey = copy.hasKey;
    counter = copy.counter;
    mTemplate = copy.mTemplate;
    children.Swap(copy.children);
    // The copy's owned parts are this variable's now.
    copy.type = VariableNone;
    copy.counter = copy.mTemplate = nullptr;
}

void Variable::CopyFrom(const Variable& other)
{
    name = other.name;
    type = other.type;
    key = other.key;
    hasKey = other.hasKey;
    if (type == VariableText)
        value.text = CopyText(other.value.text);
    else if (type == VariableBinary)
        SetBinary(other.value.block.bytes, other.value.block.length);
    else
        value = other.value;
    if (other.counter != nullptr)
        counter = new (std::nothrow) Variable(*other.counter);
    if (other.mTemplate != nullptr)
        mTemplate = new (std::nothrow) Variable(*other.mTemplate);
    for (const Variable* child : other.children)
        Append(new (std::nothrow) Variable(*child));
}

void Variable::SetText(const char16_t* text)
{
    if (type != VariableText)
        return;
    char16_t* copy = CopyText(text); // before the old text goes: `text` may be it
    FreeValue();
    value.text = copy;
}

void Variable::SetBinary(const void* bytes, uint32_t length)
{
    if (type != VariableBinary)
        return;
    uint8_t* copy = nullptr;
    if (bytes != nullptr && length != 0)
    {
        copy = static_cast<uint8_t*>(Memory::Alloc(length));
        if (copy != nullptr)
            Memory::Copy(copy, bytes, length);
    }
    FreeValue();
    value.block.bytes = copy;
    value.block.length = copy != nullptr ? length : 0;
}

double Variable::AsDouble() const
{
    double number = 0;
    if (Floating(*this, number))
        return number;
    return HasNumber(ValueType()) ? double(value.i32) : 0.0;
}

int32_t Variable::AsInt() const
{
    double number = 0;
    if (Floating(*this, number))
        return TruncateToInt32(number);
    return HasNumber(ValueType()) ? value.i32 : 0;
}

int64_t Variable::AsInt64() const
{
    double number = 0;
    if (Floating(*this, number))
        return TruncateToInt32(number);
    return HasNumber(ValueType()) ? value.i64 : 0;
}

uint64_t Variable::AsUInt64() const
{
    double number = 0;
    if (Floating(*this, number))
        return TruncateToUInt64(number);
    return HasNumber(ValueType()) ? value.u64 : 0;
}

Variable& Variable::Empty()
{
    static Variable empty;
    return empty;
}

Variable& Variable::Child(int32_t index)
{
    return children.IsIndexValid(index) ? *children.items[index] : Empty();
}

Variable* Variable::Member(const String& memberName) const
{
    for (Variable* child : children)
        if (child->name.Equals(memberName.Text()))
            return child;
    return nullptr;
}

Variable* Variable::Append(Variable* child)
{
    if (child == nullptr)
        return nullptr;
    if (children.Add(child) < 0)
    {
        delete child;
        return nullptr;
    }
    return child;
}

Variable& Variable::Find(const char16_t* path)
{
    if (path == nullptr || path[0] == u'\0')
        return *this;
    // The first component runs up to a '.', '[' or '#' after its first character; a '.' is used up.
    uint32_t cut = 1;
    while (path[cut] != u'\0' && path[cut] != u'.' && path[cut] != u'[' && path[cut] != u'#')
        ++cut;
    String component(path, int32_t(cut));
    const char16_t* rest = path + cut + (path[cut] == u'.' ? 1 : 0);

    if (IsArray() && path[0] == u'[')
    {
        int32_t index = String(path + 1).ToInt();
        if (children.IsIndexValid(index))
            return children.items[index]->Find(rest);
    }
    else if (Variable* member = Member(component))
        return member->Find(rest);
    if (mTemplate != nullptr)
        if (Variable* member = mTemplate->Member(component))
            return member->Find(rest);
    if (counter != nullptr && counter->name.Equals(component.Text()))
        return *counter;
    return Empty();
}

Variable& Variable::Create(const char16_t* path, uint32_t newType)
{
    String whole(path);
    int32_t dot = whole.FindLastChar(u'.');
    String parentPath(whole.Text(), dot > 0 ? dot : 0);
    String leaf(whole.Text() + (dot > 0 ? dot + 1 : 0));

    Variable& subvar = Find(parentPath.Text());
    if (&subvar == &Empty() && !parentPath.IsEmpty())
    {
        Variable& parent = Create(parentPath.Text(), VariableStruct);
        return &parent == &Empty() ? Empty() : parent.Create(leaf.Text(), newType);
    }
    if (ValueType() != VariableStruct || subvar.ValueType() != VariableStruct)
        return Empty();
    // Members of an array of structures go into its template and into every element it has.
    Variable* target = &subvar;
    if (subvar.IsArray())
    {
        if (!ZELTO_CHECK(subvar.mTemplate != _null, "Source/Common/Variable", 416))
            return Empty();
        target = subvar.mTemplate;
    }
    if (Variable* existing = target->Member(leaf))
        return *existing;
    Variable* created = target->Append(new (std::nothrow) Variable(leaf.Text(), newType));
    if (created == nullptr)
        return Empty();
    if (subvar.IsArray())
        for (Variable* element : subvar.children)
            element->Create(leaf.Text(), newType);
    return *created;
}

void Variable::AddElements(int32_t count)
{
    if (!IsArray() || count == 0 || count == -1)
        return;
    for (int32_t i = 0; i < count; ++i)
    {
        char16_t elementName[16];
        FormatBuffer(elementName, 16, u"[%d]", int32_t(children.Length()));
        Variable* element;
        if (mTemplate != nullptr)
        {
            element = new (std::nothrow) Variable(*mTemplate);
            if (element != nullptr)
                element->name.Assign(elementName);
        }
        else
            element = new (std::nothrow) Variable(elementName, ValueType());
        if (Append(element) == nullptr)
            return;
        if (counter != nullptr && (counter->type == VariableInt32 || counter->type == VariableUInt32))
            counter->value.u64 = children.Length();
    }
}

} // namespace Zelto
