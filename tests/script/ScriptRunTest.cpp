// Compiling and running chunks from strings, buffers, files and embedded resources; what a run leaves; script
// errors with their traceback, the error handler and the logs.
#include "ScriptFixture.h"

#include "Common/Log.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"
#include "support/TempDirectory.h"
#include "support/Text.h"

#include <lua.hpp>

#include <vector>

using namespace Zelto;

namespace
{

std::vector<std::u16string> handled; // what the error handler saw

int32_t RecordError(const char16_t* text)
{
    handled.emplace_back(text);
    return 3;
}

bool StartsWith(const std::u16string& text, const std::u16string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

class ScriptRun : public ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        handled.clear();
        manager->SetErrorHandler(RecordError);
    }
};

} // namespace

TEST_F(ScriptRun, WantResultDecidesWhereTheResultGoes)
{
    struct Case
    {
        int32_t wantResult;
        const char* result;
        int stackGrowth;
        bool resultLeft;
    };
    const Case cases[] = {{0, "none", 0, false}, {1, "42", 0, false}, {2, "none", 1, true}};
    for (const Case& c : cases)
    {
        int top = Top();
        Variable out(u"stale", VariableInt32);
        manager->RunString(out, u"return 42", u"test", c.wantResult);
        EXPECT_EQ(Describe(out), c.result) << c.wantResult;
        EXPECT_TRUE(out.name.IsEmpty());
        EXPECT_EQ(Top(), top + c.stackGrowth) << c.wantResult;
        EXPECT_EQ(lua->HasResultLeft(), c.resultLeft) << c.wantResult;
        if (c.stackGrowth != 0)
        {
            EXPECT_EQ(lua_tonumber(manager->GetLuaState(), -1), 42);
        }
        lua_settop(manager->GetLuaState(), top);
    }
    EXPECT_EQ(Describe(Run(u"local x = 1")), "none"); // a chunk that returns nothing
}

TEST_F(ScriptRun, ErrorsAreRecordedHandledAndLogged)
{
    struct Case
    {
        const char16_t* script;
        const char16_t* message;
        bool traceback;
    };
    const Case cases[] = {
        {u"x = = 1", u"[string \"test\"]:1: unexpected symbol near '='", false},
        {u"error('boom')", u"[string \"test\"]:1: boom\n", true},
        {u"local t = nil\nreturn t.field", u"[string \"test\"]:2: attempt to index local 't' (a nil value)\n",
         true},
        {u"error(42, 0)", u"42\n", true},
    };
    for (const Case& c : cases)
    {
        handled.clear();
        logs.trace.calls.clear();
        logs.error.calls.clear();
        int top = Top();
        EXPECT_TRUE(Run(c.script).IsEmpty());
        std::u16string error = LastError();
        EXPECT_TRUE(StartsWith(error, c.message)) << Narrow(String(error.c_str()));
        EXPECT_EQ(error.find(u"stack traceback:") != std::u16string::npos, c.traceback);
        EXPECT_EQ(handled, std::vector<std::u16string>{error});
        EXPECT_EQ(logs.trace.Count(error), 1u);
        EXPECT_EQ(logs.error.Count(error), 1u);
        EXPECT_EQ(Top(), top);
        EXPECT_FALSE(lua->HasResultLeft());
    }

    EXPECT_EQ(Describe(Run(u"return 'fine'")), "'fine'");
    EXPECT_EQ(LastError(), u""); // a success clears the last error
    EXPECT_EQ(manager->NotifyErrorHandler(u"by hand"), 3);
    EXPECT_EQ(handled.back(), u"by hand");
}

TEST_F(ScriptRun, ProfiledRunsCloseWhatTheyOpened)
{
    manager->EnableProfiling(true);
    EXPECT_TRUE(Run(u"local function f() error('inside') end f()").IsEmpty());
    EXPECT_EQ(Describe(Run(u"return 5")), "5");
    manager->EnableProfiling(false);
    EXPECT_EQ(logs.error.Count(u"Assertion Failed"), 0u);
}

TEST_F(ScriptRun, ErrorReachesASharedSinkOnce)
{
    ErrorSink() = TraceSink();
    Run(u"error('once')");
    EXPECT_EQ(logs.trace.Count(u"once"), 1u);
}

TEST_F(ScriptRun, ErrorObjectThatIsNoTextLeavesNoMessage)
{
    EXPECT_TRUE(Run(u"error({})").IsEmpty());
    EXPECT_EQ(LastError(), u"");
    EXPECT_TRUE(handled.empty());
}

TEST_F(ScriptRun, CompiledChunksRunWhenCalled)
{
    int32_t reference = manager->CompileString(u"counter = (counter or 0) + 1 return counter");
    ASSERT_NE(reference, 0);
    Variable out;
    EXPECT_EQ(Describe(manager->CallFunction(out, nullptr, reference)), "1");
    EXPECT_EQ(Describe(manager->CallFunction(out, nullptr, reference)), "2");

    manager->ReleaseFunctionRef(&reference);
    EXPECT_EQ(reference, 0);
    EXPECT_TRUE(manager->CallFunction(out, nullptr, reference).IsEmpty());

    int top = Top();
    EXPECT_EQ(manager->CompileString(u"return +"), 0);
    EXPECT_TRUE(StartsWith(LastError(), u"[string \"return +\"]:1:"));
    EXPECT_EQ(logs.error.Count(LastError()), 1u);
    EXPECT_EQ(handled.size(), 1u);
    EXPECT_EQ(Top(), top);

    DataBuffer buffer; // compiling stops at the first zero byte
    ASSERT_TRUE(buffer.Attach("return 7\0 garbage", 17, true));
    reference = manager->CompileBuffer(buffer);
    ASSERT_NE(reference, 0);
    EXPECT_EQ(Describe(manager->CallFunction(out, nullptr, reference)), "7");
}

TEST_F(ScriptRun, BuffersAndFilesRunUnderTheirFileName)
{
    TempDirectory folder;
    folder.WriteBytes(u"good.lua", "return { answer = 42 }");
    folder.WriteBytes(u"bad.lua", "local x = 1\nerror('in file')");
    folder.WriteBytes(u"empty.lua", "");
    String good = folder.Path(u"good.lua"), bad = folder.Path(u"bad.lua");

    DataBuffer buffer;
    ASSERT_TRUE(LoadFile(buffer, good.Text()));
    Variable out;
    EXPECT_EQ(Describe(manager->RunBuffer(out, buffer, 1)), "{answer=42}");
    EXPECT_EQ(Describe(manager->RunFile(out, good.Text(), 1)), "{answer=42}");
    EXPECT_EQ(manager->CallFunction(out, nullptr, manager->CompileFile(good.Text())).Find(u"answer").AsInt(),
              42);

    EXPECT_TRUE(manager->RunFile(out, bad.Text(), 1).IsEmpty());
    // Named after the file (long paths keep their end): the error's line is the file's.
    EXPECT_NE(LastError().find(u"bad.lua:2: in file\nstack traceback:"), std::u16string::npos)
        << Narrow(String(LastError().c_str()));

    size_t lines = logs.trace.calls.size();
    for (const char16_t* unreadable : {u"missing.lua", u"empty.lua"})
    {
        String path = folder.Path(unreadable);
        EXPECT_TRUE(manager->RunFile(out, path.Text(), 1).IsEmpty());
        EXPECT_EQ(manager->CompileFile(path.Text()), 0);
    }
    EXPECT_EQ(logs.trace.calls.size(), lines); // nothing logged for files that cannot be read
}

TEST_F(ScriptRun, EmbeddedResourceRuns)
{
    DataBuffer buffer;
    ASSERT_TRUE(LoadEmbeddedResource(u"embedded.lua", buffer));
    Variable out;
    EXPECT_EQ(Describe(manager->RunBuffer(out, buffer, 1)), "{name='embedded', values=[1, 2, 3]}");
    EXPECT_EQ(LastError(), u"");
}

TEST_F(ScriptRun, ErrorInAFunctionCalledByTheHostLeavesTheStateUsable)
{
    Run(u"function explode(n)\n  if n > 0 then error('deep ' .. n) end\n  return n\nend");
    Variable function;
    manager->GetField(function, nullptr, "explode");
    ASSERT_EQ(function.type, VariableFunction);

    int top = Top();
    Variable argument(u"", VariableDouble);
    argument.value.f64 = 3;
    Variable out;
    EXPECT_TRUE(manager->CallFunctionOne(out, nullptr, function.value.i32, argument).IsEmpty());
    EXPECT_TRUE(StartsWith(LastError(), u"[string \"test\"]:2: deep 3\nstack traceback:"));
    EXPECT_NE(LastError().find(u"in function <[string \"test\"]:1>"), std::u16string::npos);
    EXPECT_EQ(handled.size(), 1u);
    EXPECT_EQ(Top(), top);

    argument.value.f64 = 0;
    EXPECT_EQ(Describe(manager->CallFunctionOne(out, nullptr, function.value.i32, argument)), "0");
    EXPECT_EQ(LastError(), u"");
    EXPECT_EQ(Top(), top);
}

TEST_F(ScriptRun, RunErrorIsInBothLogFiles)
{
    TempDirectory folder;
    String start = CurrentDirectory();
    ASSERT_TRUE(ChangeCurrentDirectory(folder.Path().Text()));
    OpenLogFiles(u"script");
    Run(u"error('written down')");
    CloseLogFiles();
    ChangeCurrentDirectory(start.Text());

    String executable = PathFileName(ExecutablePath().Text(), false, false);
    for (const char16_t* channel : {u"Trace", u"Error"})
    {
        std::string bytes =
            folder.ReadBytes(Format(u"%ls-script-[%ls].log", executable.Text(), channel).Text());
        std::u16string text(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
        EXPECT_NE(text.find(u"[string \"test\"]:1: written down\nstack traceback:"), std::u16string::npos)
            << Narrow(String(channel));
    }
}
