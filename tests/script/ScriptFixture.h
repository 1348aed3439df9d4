// A fresh script manager for each test, with both log channels recorded; released at the end.
#pragma once

#include "Common/Variable.h"
#include "Source/Script/IScriptManager.h"
#include "Source/Script/LuaScriptManager.h"
#include "support/LogRecorder.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace Zelto
{

// A chunk and what it returns, in Describe's form.
struct ScriptResult
{
    const char16_t* script;
    const char* expected;
};

class ScriptTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A chunk named "test" run with `wantResult` 1: its result.
    Variable Run(const char16_t* text);
    void ExpectResults(std::initializer_list<ScriptResult> cases);
    void Push(const char16_t* text); // the chunk's result left on the script stack
    std::u16string LastError();
    int Top(); // the script stack's size

    RecordedLogs logs;
    IScriptManager* manager = nullptr;
    LuaScriptManager* lua = nullptr; // the same manager, for its shared parts
};

// A Variable in short readable form: none, true, 1.5, 'text', [elements], {members sorted by name, a member
// found under a number key marked name#}, function, pointer, bytes:N.
std::string Describe(const Variable& variable);

} // namespace Zelto
