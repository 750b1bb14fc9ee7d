#include "viewer/ViewerProxyFile.h"

#include "common/StationConfigFormat.h"

#include <QFile>

namespace ViewerProxyFile {

std::optional<QByteArrayList> readValues(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    ConfigFormat::LineReader in(file);
    QByteArrayList values;
    for (int pair = 0; pair < PairCount; ++pair) {
        if (!in.next()) // key line
            break;
        const std::optional<QByteArray> value = in.next();
        if (!value)
            break;
        values.append(*value);
    }
    return values;
}

} // namespace ViewerProxyFile
