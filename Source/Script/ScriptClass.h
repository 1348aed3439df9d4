// Declaring a host class to scripts as a table of members. Each method or property accessor is a member
// function of the class; a template makes its host function, which reads the arguments with the GetArg
// operation of each parameter's type, calls the member and closes the call with the Return operation of the
// result's type (members without a value return their object, so calls chain). Each member has a trampoline
// of its own, which runs the native-call protocol around its host function and runs it only on an object of
// the member's class or of a class derived from it: on any other object the call does nothing.
//
//     static const ScriptMember members[] = {
//         ScriptConstant("hCenter", 1),
//         ScriptReadOnly<&Renderer::Width>("w"),
//         ScriptProperty<&Renderer::BackgroundColor, &Renderer::SetBackgroundColor>("bgColor"),
//         ScriptMethod<&Renderer::DrawLine>("drawLine"),
//     };
//     RegisterScriptClass(*manager, "_GDI", ScriptConstructor<Renderer>, members);
//
// A member that takes the manager alone, `int32_t (IScriptManager&)`, reads what it needs itself and closes
// the call with a Return operation whose count it answers.
#pragma once

#include "Common/Variable.h"
#include "Source/Script/LuaScriptManager.h"
#include "Source/Script/ScriptObject.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace Zelto
{

struct ScriptMember
{
    enum Kind
    {
        Method,
        ReadOnlyProperty,
        Property,
        Constant, // an integer in the class table, read as Class.name
    };
    Kind kind;
    const char* name;     // "" for a property: the class's default property, whose accessors receive the key
    const void* function; // the host function (method, getter), in the pointer-sized form the manager keeps
    const void* setter;
    int32_t value;                     // a constant's
    ScriptTrampoline trampoline;       // the member's own, which knows its signature and class
    ScriptTrampoline setterTrampoline; // the setter's
};

// A trampoline for a host function (ScriptHostFunction) registered through the manager's interface: the
// native-call protocol around it, as the host's own trampolines run it.
int CallScriptMember(lua_State* state);

void RegisterScriptClass(IScriptManager& manager, const char* name, ScriptTrampoline constructor,
                         const ScriptMember* members, size_t count);
template <size_t count>
void RegisterScriptClass(IScriptManager& manager, const char* name, ScriptTrampoline constructor,
                         const ScriptMember (&members)[count])
{
    RegisterScriptClass(manager, name, constructor, members, count);
}

namespace ScriptMembers
{

template <typename T> struct Unsupported : std::false_type
{
};

// The value kinds with one GetArg and one Return operation each.
#define ZELTO_SCRIPT_VALUE_KINDS(X)                                                                          \
    X(bool, GetArgBool, ReturnBool)                                                                          \
    X(char16_t, GetArgWChar, ReturnWChar)                                                                    \
    X(int8_t, GetArgInt8, ReturnInt8)                                                                        \
    X(int16_t, GetArgInt16, ReturnInt16)                                                                     \
    X(int32_t, GetArgInt32, ReturnInt32)                                                                     \
    X(int64_t, GetArgInt64, ReturnInt64)                                                                     \
    X(uint8_t, GetArgUInt8, ReturnUInt8)                                                                     \
    X(uint16_t, GetArgUInt16, ReturnUInt16)                                                                  \
    X(uint32_t, GetArgUInt32, ReturnUInt32)                                                                  \
    X(uint64_t, GetArgUInt64, ReturnUInt64)                                                                  \
    X(float, GetArgFloat, ReturnFloat)                                                                       \
    X(double, GetArgDouble, ReturnDouble)                                                                    \
    X(ScriptObject*, GetArgObject, ReturnObject)

template <typename T> T ReadArgument(LuaScriptManager& manager, int32_t argument)
{
#define ZELTO_READ_KIND(Type, Read, Return)                                                                  \
    if constexpr (std::is_same_v<T, Type>)                                                                   \
        return manager.Read(argument);                                                                       \
    else
    ZELTO_SCRIPT_VALUE_KINDS(ZELTO_READ_KIND)
#undef ZELTO_READ_KIND
    if constexpr (std::is_same_v<T, const char16_t*>)
    {
        const char16_t* text = u"";
        manager.GetArgString(&text, argument); // valid until the call ends
        return text;
    }
    else if constexpr (std::is_same_v<T, Variable>)
    {
        Variable value;
        manager.GetArgVariable(value, argument);
        return value;
    }
    else
        static_assert(Unsupported<T>::value, "no GetArg operation reads this parameter type");
}

template <typename T> int32_t ReturnResult(LuaScriptManager& manager, const T& value)
{
#define ZELTO_RETURN_KIND(Type, Read, Return)                                                                \
    if constexpr (std::is_same_v<T, Type>)                                                                   \
        return manager.Return(value);                                                                        \
    else
    ZELTO_SCRIPT_VALUE_KINDS(ZELTO_RETURN_KIND)
#undef ZELTO_RETURN_KIND
    if constexpr (std::is_same_v<T, const char16_t*>)
        return manager.ReturnString(value);
    else if constexpr (std::is_convertible_v<T, ScriptObject*>)
        return manager.ReturnObject(value); // a derived class's pointer
    else if constexpr (std::is_same_v<T, Variable>)
        return manager.ReturnVariable(value);
    else
        static_assert(Unsupported<T>::value, "no Return operation gives this result type");
}
#undef ZELTO_SCRIPT_VALUE_KINDS

template <auto member, typename Class, typename Result, typename... Parameters, size_t... index>
int32_t Call(LuaScriptManager& manager, Class& object, std::index_sequence<index...>)
{
    if constexpr (std::is_same_v<std::tuple<Parameters...>, std::tuple<IScriptManager&>>)
        return (object.*member)(manager);
    else if constexpr (std::is_void_v<Result>)
    {
        (object.*member)(ReadArgument<std::decay_t<Parameters>>(manager, int32_t(index))...);
        return manager.Return();
    }
    else
        return ReturnResult(
            manager, (object.*member)(ReadArgument<std::decay_t<Parameters>>(manager, int32_t(index))...));
}

template <auto member, typename Class, typename Result, typename... Parameters>
int32_t Dispatch(LuaScriptManager& manager, ScriptObject& self, Result (Class::*)(Parameters...))
{
    return Call<member, Class, Result, Parameters...>(manager, static_cast<Class&>(self),
                                                      std::index_sequence_for<Parameters...>());
}

template <auto member, typename Class, typename Result, typename... Parameters>
int32_t Dispatch(LuaScriptManager& manager, ScriptObject& self, Result (Class::*)(Parameters...) const)
{
    return Call<member, const Class, Result, Parameters...>(manager, static_cast<const Class&>(self),
                                                            std::index_sequence_for<Parameters...>());
}

template <auto member> int32_t Run(LuaScriptManager& manager, ScriptObject& self)
{
    return Dispatch<member>(manager, self, member);
}

// The manager keeps a host function as a pointer-sized value.
template <auto member> const void* HostFunction()
{
    return reinterpret_cast<const void*>(&Run<member>);
}

template <typename Class, typename Result, typename... Parameters>
Class* ClassOf(Result (Class::*)(Parameters...));
template <typename Class, typename Result, typename... Parameters>
Class* ClassOf(Result (Class::*)(Parameters...) const);

template <typename Class> bool IsDerivedFrom(const ScriptObject& object)
{
    return dynamic_cast<const Class*>(&object) != nullptr;
}

// The class whose member runs, as the trampolines check it.
template <typename Class> const ScriptClassCheck classCheck{&typeid(Class), &IsDerivedFrom<Class>};

// The member's own trampoline: it knows the host function and the class, so a call reads no upvalue.
template <auto member> int Enter(lua_State* state)
{
    using Class = std::remove_pointer_t<decltype(ClassOf(member))>;
    LuaScriptManager* manager = LuaScriptManager::Instance();
    return manager != nullptr ? manager->CallMember(state, &Run<member>, classCheck<Class>) : 0;
}

} // namespace ScriptMembers

template <auto member> ScriptMember ScriptMethod(const char* name)
{
    return {ScriptMember::Method,          name,   ScriptMembers::HostFunction<member>(), nullptr, 0,
            &ScriptMembers::Enter<member>, nullptr};
}

template <auto getter> ScriptMember ScriptReadOnly(const char* name)
{
    return {ScriptMember::ReadOnlyProperty, name,   ScriptMembers::HostFunction<getter>(), nullptr, 0,
            &ScriptMembers::Enter<getter>,  nullptr};
}

template <auto getter, auto setter> ScriptMember ScriptProperty(const char* name)
{
    return {ScriptMember::Property,
            name,
            ScriptMembers::HostFunction<getter>(),
            ScriptMembers::HostFunction<setter>(),
            0,
            &ScriptMembers::Enter<getter>,
            &ScriptMembers::Enter<setter>};
}

inline ScriptMember ScriptConstant(const char* name, int32_t value)
{
    return {ScriptMember::Constant, name, nullptr, nullptr, value, nullptr, nullptr};
}

// The class function "new": a default-constructed T, handed to the script that called it.
template <typename T> int ScriptConstructor(lua_State* state)
{
    LuaScriptManager* manager = LuaScriptManager::Instance();
    if (manager == nullptr)
        return 0;
    manager->BeginCallIn(state, reinterpret_cast<void*>(&ScriptConstructor<T>));
    manager->ProfileEnterNative(reinterpret_cast<const void*>(&ScriptConstructor<T>));
    Variable object(u"", VariablePointer);
    object.value.pointer = static_cast<ScriptObject*>(new (std::nothrow) T());
    int32_t results = manager->ReturnVariable(object);
    manager->ProfileLeaveNative();
    return results;
}

} // namespace Zelto
