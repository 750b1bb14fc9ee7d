#include "station/ConfigValueChecks.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "station/ConfigTexts.h"

namespace ConfigValueChecks {

bool fitsOneLine(const QByteArray &text)
{
    return ConfigFormat::fitsOneLine(text);
}

bool isPlainStationId(const QByteArray &id)
{
    if (!fitsOneLine(id))
        return false;
    const QByteArray t = Text8::trimmed(id);
    if (t.contains("..") || t.contains('/') || t.contains('\\') || t.contains(':'))
        return false;
    for (const char c : t) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

const char *receivedValueRefusal(int pair, const QByteArray &value)
{
    constexpr int IdentifierPair = 12;
    if (!fitsOneLine(value))
        return ConfigTexts::ValueNotOneLine;
    if (pair == IdentifierPair) {
        QByteArray id = Text8::trimmed(value);
        if (id.size() == 8 && id.startsWith('$'))
            id = id.mid(1);
        if (!isPlainStationId(id))
            return ConfigTexts::IdNotPlainFileName;
    }
    return nullptr;
}

} // namespace ConfigValueChecks
