#pragma once

#include <QByteArray>

// The application title: "ZAV-Sensor" until the first activation, then
// "ZAV-Sensor" followed by the instance number. Message boxes carry it as
// their caption; the supervision tick finds the program's own boxes by it.
namespace ApplicationTitle {
QByteArray get();
void set(const QByteArray &title);
} // namespace ApplicationTitle
