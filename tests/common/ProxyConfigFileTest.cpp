#include "common/ProxyConfigFile.h"
#include "common/Text8.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sys/stat.h>

namespace {

QByteArray crlf(const QByteArrayList &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

ProxySettings presets()
{
    return ProxySettings{}; // empty texts, port 1080, no proxy
}

} // namespace

TEST(ProxyConfigFile, WriterProducesTheFourteenLinesByteForByte)
{
    ScopedWorkDir dir;
    dir.write("proxyconfig.cfg", QByteArray(400, 'x')); // an older, longer file
    ProxyConfigFile::Values v;
    v.ProxyHost = "10.1.2.3";
    v.ProxyPort = " 3128";
    v.ProxyUser = "m\xfcller";
    v.ProxyPassword = "Gr\xfc\xdf"
                      "e 1";
    v.DestinationServer = "heron.example";
    v.UseProxy = true;
    v.Http = true;
    ASSERT_TRUE(ProxyConfigFile::write(v));
    EXPECT_EQ(dir.read("proxyconfig.cfg"), QByteArray("PROXY-SERVER-ADRESSE\r\n10.1.2.3\r\n"
                                                      "PROXY-SERVER-PORT\r\n 3128\r\n"
                                                      "PROXY-SERVER-USERNAME\r\nm\xfcller\r\n"
                                                      "PROXY-SERVER-PASSWORT\r\nGr\xfc\xdf"
                                                      "e 1\r\n"
                                                      "DESTINATION-SERVER\r\nheron.example\r\n"
                                                      "PROXY-BENUTZUNG\r\n1\r\n"
                                                      "PROXY-SELECTION\r\nHTTP\r\n"));

    v.UseProxy = false;
    v.Http = false;
    ASSERT_TRUE(ProxyConfigFile::write(v));
    EXPECT_TRUE(dir.read("proxyconfig.cfg").endsWith("PROXY-BENUTZUNG\r\n0\r\nPROXY-SELECTION\r\nSOCKS\r\n"));
}

TEST(ProxyConfigFile, WrittenFileIsTheOwnersAlone)
{
    ScopedWorkDir dir;
    const auto mode = [&] {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(dir.file("proxyconfig.cfg")).constData(), &st) == 0 ? st.st_mode & 0777
                                                                                               : 0u;
    };
    const mode_t oldMask = ::umask(0022);
    ProxyConfigFile::Values v;
    v.ProxyPassword = "geheim";
    EXPECT_TRUE(ProxyConfigFile::write(v)); // a new file
    EXPECT_EQ(mode(), 0600u);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.file("proxyconfig.cfg")).constData(), 0644), 0);
    EXPECT_TRUE(ProxyConfigFile::write(v)); // over an older, readable one
    EXPECT_EQ(mode(), 0600u);
    ::umask(oldMask);
    EXPECT_TRUE(dir.read("proxyconfig.cfg").contains("\r\ngeheim\r\n"));
}

TEST(ProxyConfigFile, FailedWriteKeepsTheOldFileAndReportsIt)
{
    ScopedWorkDir dir;
    QDir(dir.path()).mkdir("proxyconfig.cfg");
    QString reason;
    EXPECT_FALSE(ProxyConfigFile::write({}, QStringLiteral("proxyconfig.cfg"), &reason));
    EXPECT_EQ(reason, QStringLiteral("Filename refers to a directory"));
    EXPECT_FALSE(ProxyConfigFile::write({}, dir.file("missing-folder/proxyconfig.cfg"), &reason));
    EXPECT_EQ(reason, QStringLiteral("No such file or directory"));
    // The message names the file by its absolute path.
    EXPECT_EQ(ProxyConfigFile::writeFailureMessage(QStringLiteral("proxyconfig.cfg"), reason),
              QStringLiteral("Speichern der PROXY-Einstellungen gescheitert!\n\r") +
                  dir.file("proxyconfig.cfg") + QStringLiteral(": No such file or directory"));
}

// A value with a CR, an LF or a NUL would shift the lines after it (the
// password "s3cret\n" of a file saved as "no proxy, SOCKS" made the station
// read "proxy on"): the writer refuses the file and the old one stays.
TEST(ProxyConfigFile, WriterRefusesAValueThatLeavesItsLine)
{
    const ProxyConfigFile::Values sound{"10.1.2.3", "1080", "bob", "s3cret", "heron.example", false, false};
    const struct
    {
        const char *name;
        QByteArray ProxyConfigFile::Values::*field;
        QByteArray value;
    } cases[] = {
        {"password with LF", &ProxyConfigFile::Values::ProxyPassword, "s3cret\n"},
        {"password with CR", &ProxyConfigFile::Values::ProxyPassword, "s3\rcret"},
        {"address with CR LF", &ProxyConfigFile::Values::ProxyHost, "10.1.2.3\r\n"},
        {"port with LF", &ProxyConfigFile::Values::ProxyPort, "1080\n"},
        {"user with NUL", &ProxyConfigFile::Values::ProxyUser, QByteArray("bo\0b", 4)},
        {"destination with LF", &ProxyConfigFile::Values::DestinationServer, "heron\nexample"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScopedWorkDir dir;
        ASSERT_TRUE(ProxyConfigFile::write(sound));
        const QByteArray before = dir.read("proxyconfig.cfg");
        ProxyConfigFile::Values v = sound;
        v.*c.field = c.value;
        EXPECT_FALSE(ProxyConfigFile::fitsLines(v));
        EXPECT_FALSE(ProxyConfigFile::write(v));
        EXPECT_EQ(dir.read("proxyconfig.cfg"), before);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"proxyconfig.cfg"});
        ProxySettings s;
        ASSERT_TRUE(ProxyConfigFile::readInto(s));
        EXPECT_FALSE(s.UseProxy);
        EXPECT_EQ(s.ProxyKind, "SOCKS");
    }
    EXPECT_TRUE(ProxyConfigFile::fitsLines(sound));
}

TEST(ProxyConfigFile, StationReaderTakesLinesByPosition)
{
    const QByteArrayList full = {"PROXY-SERVER-ADRESSE",
                                 " proxy.local ",
                                 "PROXY-SERVER-PORT",
                                 "1081",
                                 "PROXY-SERVER-USERNAME",
                                 "alice",
                                 "PROXY-SERVER-PASSWORT",
                                 "s\xe4"
                                 "cret",
                                 "DESTINATION-SERVER",
                                 "heron.example",
                                 "PROXY-BENUTZUNG",
                                 "1",
                                 "PROXY-SELECTION",
                                 "SOCKS"};
    auto with = [&](int line, const QByteArray &value) {
        QByteArrayList l = full;
        l[line] = value;
        return crlf(l);
    };
    ProxySettings all{true,
                      " proxy.local ",
                      1081,
                      "alice",
                      "s\xe4"
                      "cret",
                      "SOCKS"};
    auto expect = [&](auto change) {
        ProxySettings s = all;
        change(s);
        return s;
    };

    QByteArrayList withoutDestination = full;
    withoutDestination.remove(8, 2);
    QByteArrayList renamedKeys = full;
    renamedKeys[0] = "ADRESSE";
    renamedKeys[12] = "AUSWAHL";

    const struct
    {
        const char *name;
        QByteArray file;
        ProxySettings expected;
    } cases[] = {
        {"all seven pairs", crlf(full), all},
        {"12 lines without DESTINATION-SERVER", crlf(withoutDestination), all},
        {"key lines are not compared", crlf(renamedKeys), all},
        {"use flag 2", with(11, "2"), all},
        {"use flag ja", with(11, "ja"), all},
        {"use flag blank", with(11, " "), expect([](ProxySettings &s) { s.UseProxy = false; })},
        {"use flag 0", with(11, "0"), expect([](ProxySettings &s) { s.UseProxy = false; })},
        {"use flag empty", with(11, ""), expect([](ProxySettings &s) { s.UseProxy = false; })},
        {"lower-case socks is taken as read", with(13, "socks"),
         expect([](ProxySettings &s) { s.ProxyKind = "socks"; })},
        {"port that is no number", with(3, "80a"), expect([](ProxySettings &s) { s.ProxyPort = 1080; })},
        {"empty port", with(3, ""), expect([](ProxySettings &s) { s.ProxyPort = 1080; })},
        {"LF line ends", crlf(full).replace("\r\n", "\n"), all},
        {"file ends after the password", crlf(full.mid(0, 8)), expect([](ProxySettings &s) {
             s.UseProxy = false;
             s.ProxyKind = "";
         })},
        {"empty file", QByteArray(), ProxySettings{false, "", 1080, "", "", ""}},
    };
    for (const auto &c : cases) {
        ScopedWorkDir dir;
        dir.write("proxyconfig.cfg", c.file);
        ProxySettings s = presets();
        EXPECT_TRUE(ProxyConfigFile::readInto(s)) << c.name;
        EXPECT_EQ(s, c.expected) << c.name;
        EXPECT_EQ(s.ProxyKind == "SOCKS", c.expected.ProxyKind == "SOCKS") << c.name;
    }
}

TEST(ProxyConfigFile, MissingFileLeavesThePresets)
{
    ScopedWorkDir dir;
    ProxySettings s = presets();
    s.ProxyHost = "kept";
    const ProxySettings before = s;
    EXPECT_FALSE(ProxyConfigFile::readInto(s));
    EXPECT_EQ(s, before);
    EXPECT_EQ(s.ProxyPort, 1080);
    EXPECT_FALSE(s.UseProxy);
}

TEST(ProxyConfigFile, WhatTheDialogWritesTheStationReadsBack)
{
    ScopedWorkDir dir;
    ProxyConfigFile::Values v{"192.168.0.9", "1080", "bob", "p\xe4ss", "heron.example", true, false};
    ASSERT_TRUE(ProxyConfigFile::write(v));
    ProxySettings s;
    ASSERT_TRUE(ProxyConfigFile::readInto(s));
    EXPECT_EQ(s, (ProxySettings{true, "192.168.0.9", 1080, "bob", "p\xe4ss", "SOCKS"}));
}
