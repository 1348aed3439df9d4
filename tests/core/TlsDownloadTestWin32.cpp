// Downloads over HTTPS through Schannel from the local servers of scripts/tls-fixture (openssl s_server on
// the Linux side, started by CTest around the Windows tests), with the test CA in force: its certificate for
// localhost is accepted; one by another CA and one for another name fail, each logging libcurl's reason with
// the URL. Without a CA file Wine's Schannel does not refuse an unknown chain (Windows checks it against the
// system store), so the refusals are tested with the CA file, where libcurl checks the chain and name itself.
#include "TlsDownload.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

using namespace Zelto;

namespace
{

// The fixture's folder as Wine shows it ("/tmp/x" is "Z:\tmp\x"), and its servers' ports by name.
struct TlsFixture
{
    std::string folder;
    std::map<std::string, int> ports;

    TlsFixture()
    {
        const char* unix = std::getenv("ZELTO_TLS_FIXTURE");
        if (unix == nullptr)
            return;
        folder = std::string("Z:") + unix;
        for (char& unit : folder)
            unit = unit == '/' ? '\\' : unit;
        std::ifstream servers(folder + "\\servers");
        std::string name;
        int port = 0;
        while (servers >> name >> port)
            ports[name] = port;
    }
    std::string Url(const std::string& name) const
    {
        return "https://localhost:" + std::to_string(ports.at(name)) + "/package";
    }
};

} // namespace

TEST(TlsDownload, SchannelRefusesUntrustedCertificatesAndTrustsTheTestCa)
{
    TlsFixture fixture;
    if (fixture.ports.size() != 3)
        GTEST_SKIP() << "no TLS fixture (scripts/tls-fixture, started by CTest)";
    const std::string body(5000, 'z');
    TrustedTestCa trusted(fixture.folder + "\\ca.pem");
    CheckTlsDownload(fixture.Url("good"), nullptr, body);
    CheckTlsDownload(fixture.Url("rogue"), "CertGetCertificateChain trust error CERT_TRUST_IS_PARTIAL_CHAIN",
                     body);
    CheckTlsDownload(fixture.Url("other"), "failed to match connection hostname (localhost)", body);
}
