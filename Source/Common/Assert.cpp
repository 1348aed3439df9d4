#include "Common/Assert.h"

#include "Common/Log.h"
#include "Source/Common/StringFormatter.h"

namespace Zelto
{

// The build date is fixed so that reports read the same from every build.
void AssertReport(const char16_t* expression, const char16_t* file, int line)
{
    String text = Format(u"Build Date : %ls\r\nAssertion Failed : %ls\r\n%ls:%d", u"Nov 18 2014", expression,
                         file, line);
    PrintError(u"%ls", text.Text());
}

} // namespace Zelto
