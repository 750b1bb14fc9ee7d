// A proxy's first reply as the HTTP-proxy connector searches it for the
// Digest challenge: any bytes. Each value must be a piece of the reply as
// received, begin right after its key, a "=" and a double quote, and hold
// no double quote itself.

#include "FuzzSupport.h"

#include "reporting/TIdConnectThroughHttpProxy.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Fuzz::setUp(argc, argv);
    Fuzz::writeSeed("challenge-qop", "HTTP/1.1 407 Proxy Authentication RequiredProxy-Authenticate: Digest "
                                     "realm=\"r\", nonce=\"n\", opaque=\"o\", qop=\"auth\", algorithm=\"MD5\"");
    Fuzz::writeSeed("challenge-open", "Digest algorithm=\"MD5\", NONCE=\"n1\", realm=\"open end");
    return 0;
}

namespace {

void expectValue(const QByteArray &reply, const char *key, const QByteArray &value)
{
    const QByteArray marker = QByteArray(key) + "=\"";
    const qsizetype at = reply.toLower().indexOf(marker);
    if (at < 0) {
        if (!value.isEmpty())
            Fuzz::fail(QStringLiteral("a value without its key: %1").arg(QLatin1String(key)));
        return;
    }
    if (value.contains('"') || reply.mid(at + marker.size(), value.size()) != value)
        Fuzz::fail(QStringLiteral("a value that is not the reply's text after its key: %1").arg(QLatin1String(key)));
    const qsizetype after = at + marker.size() + value.size();
    if (after < reply.size() && reply.at(after) != '"')
        Fuzz::fail(QStringLiteral("a value that stops before its closing quote: %1").arg(QLatin1String(key)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply = Fuzz::bytes(data, size);
    const TIdConnectThroughHttpProxy::Challenge c = TIdConnectThroughHttpProxy::parseChallenge(reply);
    expectValue(reply, "qop", c.qop);
    expectValue(reply, "nonce", c.nonce);
    expectValue(reply, "opaque", c.opaque);
    expectValue(reply, "realm", c.realm);
    return 0;
}
