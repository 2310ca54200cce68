#include "TestPki.h"

#include "ChildProcess.h"

namespace testsupport {

namespace {

const char* const Names[] = {"good", "other", "expired"};

// What `openssl ca` needs to sign with fixed dates: the expired certificate's dates lie in the
// past, which `openssl x509 -days` cannot give.
const char* const CaConfig = "[ca]\n"
                             "default_ca = test_ca\n"
                             "[test_ca]\n"
                             "database = index.txt\n"
                             "new_certs_dir = .\n"
                             "serial = serial\n"
                             "default_md = sha256\n"
                             "policy = any_name\n"
                             "unique_subject = no\n"
                             "[any_name]\n"
                             "commonName = supplied\n"
                             "[server]\n"
                             "basicConstraints = CA:FALSE\n"
                             "extendedKeyUsage = serverAuth\n"
                             "subjectAltName = @names\n"
                             "[names]\n"
                             "IP.1 = 127.0.0.1\n"
                             "DNS.1 = localhost\n"
                             "[other]\n"
                             "basicConstraints = CA:FALSE\n"
                             "extendedKeyUsage = serverAuth\n"
                             "subjectAltName = DNS:other.example\n";

} // namespace

TestPki::TestPki() {
    if (m_Dir.Path().empty()) {
        m_Error = "no temporary folder";
        return;
    }
    m_Dir.WriteFile("ca.cnf", CaConfig);
    m_Dir.WriteFile("index.txt", "");
    m_Dir.WriteFile("serial", "1000\n");
    const std::vector<std::string> ecKey = {"-newkey", "ec", "-pkeyopt",
                                            "ec_paramgen_curve:prime256v1", "-nodes"};
    std::vector<std::string> ca = {"req",     "-x509",
                                   "-days",   "2",
                                   "-subj",   "/CN=Vostrand Test CA",
                                   "-keyout", "ca.key",
                                   "-out",    "ca.pem",
                                   "-addext", "basicConstraints=critical,CA:TRUE",
                                   "-addext", "keyUsage=critical,keyCertSign,cRLSign"};
    ca.insert(ca.begin() + 1, ecKey.begin(), ecKey.end());
    if (!Openssl(ca))
        return;
    for (const Kind kind : {Good, OtherName, Expired}) {
        const std::string name = Names[kind];
        std::vector<std::string> request = {
            "req",        "-subj",       kind == OtherName ? "/CN=other.example" : "/CN=127.0.0.1",
            "-keyout",    name + ".key", "-out",
            name + ".csr"};
        request.insert(request.begin() + 1, ecKey.begin(), ecKey.end());
        std::vector<std::string> sign = {"ca",
                                         "-batch",
                                         "-notext",
                                         "-config",
                                         "ca.cnf",
                                         "-cert",
                                         "ca.pem",
                                         "-keyfile",
                                         "ca.key",
                                         "-extensions",
                                         kind == OtherName ? "other" : "server",
                                         "-in",
                                         name + ".csr",
                                         "-out",
                                         name + ".pem"};
        if (kind == Expired)
            sign.insert(sign.end(),
                        {"-startdate", "20200101000000Z", "-enddate", "20200201000000Z"});
        else
            sign.insert(sign.end(), {"-days", "2"});
        if (!Openssl(request) || !Openssl(sign))
            return;
    }
}

std::string TestPki::Cert(Kind kind) const {
    return m_Dir.FilePath(std::string(Names[kind]) + ".pem");
}

std::string TestPki::Key(Kind kind) const {
    return m_Dir.FilePath(std::string(Names[kind]) + ".key");
}

std::vector<std::string> TestPki::ServiceArguments(Kind kind) const {
    return {"--tls-cert", Cert(kind), "--tls-key", Key(kind)};
}

bool TestPki::Openssl(const std::vector<std::string>& arguments) {
    // openssl resolves the relative names of its config from the working folder: run it there.
    std::vector<std::string> shell = {"-c", "cd \"$0\" && exec openssl \"$@\"", m_Dir.Path()};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    ChildProcess openssl;
    if (!openssl.Start("/bin/sh", shell, {}, true)) {
        m_Error = "cannot start openssl";
        return false;
    }
    const auto code = openssl.Wait(60000);
    if (code != 0) {
        m_Error = "openssl " + arguments.front() + " failed: " + openssl.PendingOutput();
        return false;
    }
    return true;
}

} // namespace testsupport
