#include "station/ApplicationTitle.h"

#include "station/LockedText.h"
#include "station/StationTexts.h"

namespace {
LockedText &title()
{
    static LockedText t{QByteArray(StationTexts::ApplicationTitle)};
    return t;
}
} // namespace

namespace ApplicationTitle {

QByteArray get()
{
    return title().get();
}

void set(const QByteArray &t)
{
    title().set(t);
}

} // namespace ApplicationTitle
