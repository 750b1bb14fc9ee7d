#include "station/LimitLabels.h"

#include "common/Text8.h"
#include "station/StartupTexts.h"
#include "station/StationConfig.h"
#include "station/StationWindow.h"

std::array<QByteArray, 4> LimitLabelTexts(const StationConfig &cfg)
{
    const struct
    {
        const QByteArray &min;
        const QByteArray &max;
        const char *unit;
    } rows[] = {
        {cfg.TempMin, cfg.TempMax, StartupTexts::DegreeUnit},
        {cfg.TPMin, cfg.TPMax, StartupTexts::DegreeUnit},
        {cfg.TTPMin, cfg.TTPMax, StartupTexts::DegreeUnit},
        {cfg.RHMin, cfg.RHMax, StartupTexts::PercentUnit},
    };
    std::array<QByteArray, 4> texts;
    for (int i = 0; i < 4; ++i) {
        const auto &r = rows[i];
        if (!Text8::trimmed(r.min).isEmpty())
            texts[i] += "min: " + r.min + Text8::cp(r.unit);
        if (!Text8::trimmed(r.max).isEmpty())
            texts[i] += "max: " + r.max + Text8::cp(r.unit);
    }
    return texts;
}

void FillLimitLabels(const StationConfig &cfg, StationWindow &window)
{
    const std::array<QByteArray, 4> texts = LimitLabelTexts(cfg);
    for (int i = 0; i < 4; ++i)
        window.setLimitText(static_cast<LimitLabel>(i), texts[i]);
}

void FillLimitLabels(const StationConfig &cfg, StationView &view)
{
    const std::array<QByteArray, 4> texts = LimitLabelTexts(cfg);
    for (int i = 0; i < 4; ++i)
        view.setLimitText(static_cast<LimitLabel>(i), texts[i]);
}
