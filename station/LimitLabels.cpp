#include "station/LimitLabels.h"

#include "common/Text8.h"
#include "station/StartupTexts.h"
#include "station/StationConfig.h"
#include "station/StationWindow.h"

void FillLimitLabels(const StationConfig &cfg, StationWindow &window)
{
    const struct
    {
        LimitLabel label;
        const QByteArray &min;
        const QByteArray &max;
        const char *unit;
    } rows[] = {
        {LimitLabel::Temp, cfg.TempMin, cfg.TempMax, StartupTexts::DegreeUnit},
        {LimitLabel::TP, cfg.TPMin, cfg.TPMax, StartupTexts::DegreeUnit},
        {LimitLabel::T_TP, cfg.TTPMin, cfg.TTPMax, StartupTexts::DegreeUnit},
        {LimitLabel::RH, cfg.RHMin, cfg.RHMax, StartupTexts::PercentUnit},
    };
    for (const auto &r : rows) {
        QByteArray text;
        if (!Text8::trimmed(r.min).isEmpty())
            text += "min: " + r.min + Text8::cp(r.unit);
        if (!Text8::trimmed(r.max).isEmpty())
            text += "max: " + r.max + Text8::cp(r.unit);
        window.setLimitText(r.label, text);
    }
}
