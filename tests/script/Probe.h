// A host class published to scripts as "Probe", for the binding tests: it counts its live instances, keeps
// what scripts give it and has a member for each argument and result kind the tests look at.
#pragma once

#include "Common/String.h"
#include "ScriptFixture.h"
#include "Source/Script/ScriptClass.h"

#include <string>

namespace Zelto
{

class Probe : public ScriptObject
{
public:
    explicit Probe(int32_t ownTable = 0);
    ~Probe() override;

    static void Register(IScriptManager& manager);
    static int live; // instances not yet destroyed

    void Add(int32_t amount) { total += amount; }
    int32_t Total() const { return total; }
    const char16_t* Label() const { return label.Text(); }
    void SetLabel(const char16_t* text) { label.Assign(text); }
    const char16_t* Echo(const char16_t* text) { return text; }
    ScriptObject* Spawn() { return new Probe(); }
    void Collect(); // a full collection from inside a host call
    int32_t Fail(IScriptManager& manager);
    int32_t Abort(IScriptManager& manager);   // a script error raised without ending the call
    int32_t OnEvent(IScriptManager& manager); // stores its function argument under the key 64, nil removes it
    int32_t Inspect(IScriptManager& manager); // every reading of argument 0 into `reading`
    // Argument 0 read as a text and a binary Variable, then given back as read as a number.
    int32_t TextThenNumber(IScriptManager& manager);
    int32_t Give(IScriptManager& manager);     // the Return operation numbered by argument 0
    int32_t Remember(IScriptManager& manager); // two texts; with a third argument true, script work between

    int32_t total = 0;
    String label;
    int32_t callback = 0;
    std::string reading;
    const char16_t* texts[2] = {};
    std::u16string copies[2];
    ScriptObject* child = nullptr; // destroyed with the probe
};

// A pointer Variable naming `object`, as the host hands objects to scripts.
Variable ObjectValue(ScriptObject* object);

// The manager with "Probe" registered; at the end, every probe a test published is released by its script
// names and must be gone after a collection.
class BindingTest : public ScriptTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    void Publish(const char* global, ScriptObject* object); // the script global now names the object
};

} // namespace Zelto
