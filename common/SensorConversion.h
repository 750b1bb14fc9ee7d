#pragma once

#include <QtGlobal>

#include <cmath>

// Converted values of one pair of raw sensor readings.
struct SensorConversion
{
    double T = 0.0;     // air temperature, °C
    double RHlin = 0.0; // linear relative humidity, %
    double RH = 0.0;    // temperature-compensated relative humidity, %
    double logEW = 0.0; // the dew point's intermediate x
    double TP = 0.0;    // dew point, °C
};

// The sensor's conversion of raw ticks, computed in X (the station works in
// extended precision, the viewer in 64-bit doubles); each result is kept as
// a double. `corrections` applies the -1.0 to the temperature and the +2.1
// to the linear humidity. The dew point comes from the linear humidity; at
// or below 0 % (where the logarithm fails) x is 3.0.
template <typename X>
SensorConversion convertSensorReadings(qint32 rawTemp, qint32 rawHumidity, bool corrections)
{
    SensorConversion c;
    X t = static_cast<X>(rawTemp) * X(0.0098L) - X(38.4L);
    if (corrections)
        t -= X(1.0L);
    c.T = static_cast<double>(t);

    const X raw = static_cast<X>(rawHumidity);
    X rhLin = raw * X(0.0405L) - X(4.0L) - X(2.8e-6L) * raw * raw;
    if (corrections)
        rhLin += X(2.1L);
    c.RHlin = static_cast<double>(rhLin);

    c.RH = static_cast<double>((raw * X(8e-6L) + X(0.01L)) * (static_cast<X>(c.T) - X(25.0L)) +
                               static_cast<X>(c.RHlin));

    const X T = c.T;
    X logEW = X(3.0L);
    if (c.RHlin > 0.0) {
        const X v = (std::log10(static_cast<X>(c.RHlin)) - X(2.0L)) + (X(7.5L) * T / (X(237.3L) + T) + X(0.66077L));
        if (std::isfinite(v))
            logEW = v;
    }
    c.logEW = static_cast<double>(logEW);
    c.TP = static_cast<double>((X(0.66077L) - static_cast<X>(c.logEW)) * X(237.3L) /
                               (static_cast<X>(c.logEW) - X(8.16077L)));
    return c;
}
