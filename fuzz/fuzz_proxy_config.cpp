// proxyconfig.cfg as the station's reader takes it: any bytes, read by
// position. Settings that were read, written by the writer and read again
// must come back the same.

#include "FuzzSupport.h"

#include "common/ProxyConfigFile.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Fuzz::setUp(argc, argv);
    ProxyConfigFile::Values v;
    v.ProxyHost = "proxy.example";
    v.ProxyPort = "3128";
    v.ProxyUser = "user";
    v.ProxyPassword = "secret";
    v.DestinationServer = "heron.example:2000";
    v.UseProxy = true;
    v.Http = true;
    Fuzz::writeSeed("proxy-http", ProxyConfigFile::format(v));
    v.Http = false;
    v.UseProxy = false;
    v.ProxyPort = "-1";
    Fuzz::writeSeed("proxy-socks", ProxyConfigFile::format(v));
    // An older file without the destination pair.
    Fuzz::writeSeed("proxy-no-destination", "PROXY-SERVER-ADRESSE\r\nh\r\nPROXY-SERVER-PORT\r\n8080\r\n"
                                            "PROXY-SERVER-USERNAME\r\n\r\nPROXY-SERVER-PASSWORT\r\n\r\n"
                                            "PROXY-BENUTZUNG\r\n1\r\nPROXY-SELECTION\r\nSOCKS\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = QString::fromLatin1(ProxyConfigFile::FileName);
    Fuzz::writeWorkFile(ProxyConfigFile::FileName, Fuzz::bytes(data, size));
    ProxySettings first;
    if (!ProxyConfigFile::readInto(first, path))
        Fuzz::fail(QStringLiteral("a readable proxy file was reported as unreadable"));

    ProxyConfigFile::Values v;
    v.ProxyHost = first.ProxyHost;
    v.ProxyPort = QByteArray::number(first.ProxyPort);
    v.ProxyUser = first.ProxyUser;
    v.ProxyPassword = first.ProxyPassword;
    v.UseProxy = first.UseProxy;
    v.Http = first.ProxyKind != "SOCKS";
    // A value read with a CR or a NUL inside does not fit its line: the
    // writer refuses it and leaves the file as it was.
    if (!ProxyConfigFile::fitsLines(v)) {
        if (ProxyConfigFile::write(v, path))
            Fuzz::fail(QStringLiteral("a value with a CR or a NUL was written"));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != Fuzz::bytes(data, size))
            Fuzz::fail(QStringLiteral("a refused write changed the proxy file"));
        Fuzz::clearWork();
        return 0;
    }
    if (!ProxyConfigFile::write(v, path))
        Fuzz::fail(QStringLiteral("the proxy file could not be written"));
    ProxySettings second;
    if (!ProxyConfigFile::readInto(second, path))
        Fuzz::fail(QStringLiteral("a written proxy file was reported as unreadable"));
    ProxySettings expected = first;
    expected.ProxyKind = v.Http ? "HTTP" : "SOCKS";
    if (!(second == expected))
        Fuzz::fail(QStringLiteral("written proxy settings read back differently"));
    Fuzz::clearWork();
    return 0;
}
