#include "Probe.h"

#include "support/Text.h"

#include <lua.hpp>

#include <sstream>

namespace Zelto
{

int Probe::live = 0;

Probe::Probe(int32_t ownTable) : ScriptObject("Probe", ownTable)
{
    ++live;
}

Probe::~Probe()
{
    delete child;
    --live;
}

void Probe::Register(IScriptManager& manager)
{
    static const ScriptMember members[] = {
        ScriptConstant("answer", 42),
        ScriptReadOnly<&Probe::Total>("total"),
        ScriptProperty<&Probe::Label, &Probe::SetLabel>("label"),
        ScriptMethod<&Probe::Add>("add"),
        ScriptMethod<&Probe::Echo>("echo"),
        ScriptMethod<&Probe::Spawn>("spawn"),
        ScriptMethod<&Probe::Collect>("collect"),
        ScriptMethod<&Probe::Fail>("fail"),
        ScriptMethod<&Probe::Abort>("abort"),
        ScriptMethod<&Probe::OnEvent>("onEvent"),
        ScriptMethod<&Probe::Inspect>("inspect"),
        ScriptMethod<&Probe::TextThenNumber>("textThenNumber"),
        ScriptMethod<&Probe::Give>("give"),
        ScriptMethod<&Probe::Remember>("remember"),
    };
    RegisterScriptClass(manager, "Probe", ScriptConstructor<Probe>, members);
}

void Probe::Collect()
{
    lua_gc(GetScriptManager()->GetLuaState(), LUA_GCCOLLECT, 0);
}

int32_t Probe::Fail(IScriptManager& manager)
{
    manager.SetError(u"probe failed");
    return manager.Return();
}

int32_t Probe::Abort(IScriptManager& manager)
{
    const char16_t* text = nullptr;
    manager.GetArgString(&text, 0);
    lua_State* state = manager.GetLuaState();
    lua_pushstring(state, "aborted");
    return lua_error(state);
}

int32_t Probe::OnEvent(IScriptManager& manager)
{
    if (callback != 0)
        manager.ClearStoredFunction(this, &callback);
    callback = manager.StoreArgFunction(this, 64, 0);
    return manager.Return();
}

int32_t Probe::Inspect(IScriptManager& manager)
{
    const char16_t* text = nullptr;
    manager.GetArgString(&text, 0);
    std::ostringstream line;
    line << "n=" << manager.GetArgCount() << " b=" << manager.GetArgBool(0)
         << " i8=" << int(manager.GetArgInt8(0)) << " u8=" << int(manager.GetArgUInt8(0))
         << " i16=" << manager.GetArgInt16(0) << " u16=" << manager.GetArgUInt16(0)
         << " wc=" << int(manager.GetArgWChar(0)) << " i32=" << manager.GetArgInt32(0)
         << " u32=" << manager.GetArgUInt32(0) << " i64=" << manager.GetArgInt64(0)
         << " u64=" << manager.GetArgUInt64(0) << " f=" << manager.GetArgFloat(0)
         << " d=" << manager.GetArgDouble(0) << " s='" << Narrow(String(text)) << "'"
         << " o=" << (manager.GetArgObject(0) != nullptr);
    reading = line.str();
    return manager.Return();
}

int32_t Probe::TextThenNumber(IScriptManager& manager)
{
    for (uint32_t type : {VariableText, VariableBinary})
    {
        Variable value(u"", type);
        manager.GetArgVariable(value, 0);
    }
    return manager.ReturnDouble(manager.GetArgDouble(0));
}

int32_t Probe::Give(IScriptManager& manager)
{
    static const std::u16string longText(700, u'\u00e9'); // 1400 bytes of UTF-8
    switch (manager.GetArgInt32(0))
    {
    case 0:
        return manager.ReturnBool(true);
    case 1:
        return manager.ReturnWChar(u'\u00e9');
    case 2:
        return manager.ReturnInt8(-5);
    case 3:
        return manager.ReturnInt16(-300);
    case 4:
        return manager.ReturnInt32(-70000);
    case 5:
        return manager.ReturnInt64(0x100000005ll);
    case 6:
        return manager.ReturnUInt8(250);
    case 7:
        return manager.ReturnUInt16(65535);
    case 8:
        return manager.ReturnUInt32(0xFF000000u);
    case 9:
        return manager.ReturnUInt64(0xFFFFFFFF00000007ull);
    case 10:
        return manager.ReturnFloat(0.5f);
    case 11:
        return manager.ReturnDouble(0.25);
    case 12:
        return manager.ReturnString(u"h\u00e9llo");
    case 13:
        return manager.ReturnString(longText.c_str());
    case 14:
        return manager.ReturnObject(nullptr);
    case 15:
    {
        Variable text(u"", VariableText);
        text.SetText(u"variable");
        return manager.ReturnVariable(text);
    }
    default:
        return manager.Return();
    }
}

int32_t Probe::Remember(IScriptManager& manager)
{
    manager.GetArgString(&texts[0], 0);
    manager.GetArgString(&texts[1], 1);
    if (manager.GetArgBool(2))
    {
        // Script work between reading and using: nested host calls, new strings and a full collection.
        Variable out;
        manager.RunString(out,
                          u"local p = Probe.new(); for i = 1, 100 do p:echo(string.rep('x', i * 20)) end "
                          u"collectgarbage()",
                          u"nested", 0);
    }
    copies[0] = texts[0];
    copies[1] = texts[1];
    return manager.Return();
}

Variable ObjectValue(ScriptObject* object)
{
    Variable value(u"", VariablePointer);
    value.value.pointer = object;
    return value;
}

void BindingTest::SetUp()
{
    ScriptTest::SetUp();
    Probe::live = 0;
    Probe::Register(*manager);
}

void BindingTest::TearDown()
{
    // Whatever scripts still reference goes with the globals.
    Run(u"p, q, r, s, made = nil");
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 0);
    ScriptTest::TearDown();
}

void BindingTest::Publish(const char* global, ScriptObject* object)
{
    manager->SetField(nullptr, global, ObjectValue(object));
}

} // namespace Zelto
