// Precondition checks: a failed check is reported on the error channel and execution goes on.
#pragma once

namespace Zelto
{

// Spellings used inside checked expressions, so that the reported text reads the same on every target.
constexpr decltype(nullptr) _null = nullptr;
constexpr bool _false = false;

// Prints "Build Date : ...", "Assertion Failed : <expression>" and "<file>:<line>" to the error channel.
void AssertReport(const char16_t* expression, const char16_t* file, int line);

} // namespace Zelto

// Reports `expression` as written, with the source position given by the caller. The position is explicit so
// that the reported place stays the same when the file around it changes.
#define ZELTO_CHECK(expression, file, line)                                                                  \
    ((expression) ? true : (::Zelto::AssertReport(u"" #expression, u"" file, line), false))
