// Downloads over HTTPS from a local TLS server (cpp-httplib with OpenSSL) whose certificates a test CA signs,
// made here by the openssl command line: a certificate by the trusted test CA is accepted; one by another CA,
// one for another name and a refused connection fail, each logging libcurl's own reason with the URL.
#include <httplib.h> // with CPPHTTPLIB_OPENSSL_SUPPORT, set by the build for this file

#include "TlsDownload.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

using namespace Zelto;

namespace
{

// A test CA and three server certificates: for 127.0.0.1 by the test CA, for another name by the test CA, and
// for 127.0.0.1 by a CA nobody trusts.
struct TestCertificates
{
    TempDirectory folder;
    bool made = false;

    TestCertificates()
    {
        made = Authority("ca") && Authority("rogue-ca") && Server("good", "ca", "IP:127.0.0.1") &&
               Server("other", "ca", "DNS:other.example") && Server("rogue", "rogue-ca", "IP:127.0.0.1");
    }
    std::string File(const std::string& name) const { return folder.Native().string() + "/" + name; }

private:
    bool Run(const std::string& command) const
    {
        return std::system(("cd '" + folder.Native().string() + "' && " + command + " 2>/dev/null >/dev/null")
                               .c_str()) == 0;
    }
    bool Authority(const std::string& name) const
    {
        return Run(
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -keyout " +
            name + ".key -out " + name + ".pem -subj '/CN=Zelto test " + name + "'");
    }
    bool Server(const std::string& name, const std::string& authority, const std::string& subject) const
    {
        return Run("openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
                   name + ".key -out " + name + ".csr -subj '/CN=" + name +
                   "' -addext 'subjectAltName=" + subject + "'") &&
               Run("openssl x509 -req -in " + name + ".csr -CA " + authority + ".pem -CAkey " + authority +
                   ".key -CAcreateserial -days 2 -copy_extensions copy -out " + name + ".pem");
    }
};

// An HTTPS server on 127.0.0.1 serving one resource.
class TlsServer
{
public:
    TlsServer(const std::string& certificate, const std::string& key, std::string body)
        : server(certificate.c_str(), key.c_str())
    {
        server.Get("/package", [body](const httplib::Request&, httplib::Response& out)
                   { out.set_content(body, "application/octet-stream"); });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
    }
    ~TlsServer()
    {
        server.stop();
        thread.join();
    }
    std::string Url() const { return "https://127.0.0.1:" + std::to_string(port) + "/package"; }
    bool Valid() const { return server.is_valid() && port > 0; }

private:
    httplib::SSLServer server;
    int port = 0;
    std::thread thread;
};

} // namespace

TEST(TlsDownload, TrustedCertificateIsAcceptedOthersAreRefusedWithTheirReason)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.made) << "the openssl command line made no certificates";
    TrustedTestCa trusted(certificates.File("ca.pem"));
    const std::string body(5000, 'z');
    struct Case
    {
        const char* name;
        const char* certificate; // null: nothing listens
        const char* reason;      // null: the download succeeds
    } cases[] = {
        {"trusted", "good", nullptr},
        {"untrusted CA", "rogue", "SSL certificate problem: unable to get local issuer certificate"},
        {"other name", "other",
         "no alternative certificate subject name matches target host name '127.0.0.1'"},
        {"refused", nullptr, "Failed to connect to 127.0.0.1 port 9"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TlsServer> server;
        std::string url = "https://127.0.0.1:9/package";
        if (c.certificate != nullptr)
        {
            server.reset(new TlsServer(certificates.File(std::string(c.certificate) + ".pem"),
                                       certificates.File(std::string(c.certificate) + ".key"), body));
            ASSERT_TRUE(server->Valid());
            url = server->Url();
        }
        CheckTlsDownload(url, c.reason, body);
    }
}
