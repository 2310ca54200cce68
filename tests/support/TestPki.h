#pragma once
// A private certificate authority for TLS tests, made with the openssl command in a temporary
// folder that goes with the object: the authority, and server certificates (each with its key)
// for the names 127.0.0.1 and localhost, for another name only, and for both names but expired.
//
//     testsupport::TestPki pki;
//     ASSERT_TRUE(pki.Ok()) << pki.Error();
//     ServiceProcess service({"--tls-cert", pki.Cert(TestPki::Good), "--tls-key", pki.Key(...)});
#include "TempDir.h"

#include <string>
#include <vector>

namespace testsupport {

class TestPki {
public:
    enum Kind { Good, OtherName, Expired };

    TestPki();
    bool Ok() const { return m_Error.empty(); }
    const std::string& Error() const { return m_Error; }
    // The authority's certificate (PEM), what --ca-file takes.
    std::string CaFile() const { return m_Dir.FilePath("ca.pem"); }
    std::string Cert(Kind kind) const;
    std::string Key(Kind kind) const;
    // The service arguments that serve https with that certificate.
    std::vector<std::string> ServiceArguments(Kind kind) const;

private:
    bool Openssl(const std::vector<std::string>& arguments);

    TempDir m_Dir;
    std::string m_Error;
};

} // namespace testsupport
