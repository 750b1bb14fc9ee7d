#pragma once

#include <QByteArrayList>
#include <QString>

#include <optional>

// The viewer's reading of proxyconfig.cfg (the layout is common/ProxyConfigFile):
// the value lines of the seven pairs by position, key lines not compared; a
// line missing at the end of the file reads as an empty text.
namespace ViewerProxyFile {

inline constexpr int PairCount = 7;

// The values of the pairs read before a read failure (all seven unless the
// device failed); nullopt when the file cannot be opened.
std::optional<QByteArrayList> readValues(const QString &path);

} // namespace ViewerProxyFile
