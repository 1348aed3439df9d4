// Sets (or with a null value removes) an environment variable of the test process.
#pragma once

namespace Zelto
{

bool WriteEnvironmentVariable(const char16_t* name, const char16_t* value);

} // namespace Zelto
