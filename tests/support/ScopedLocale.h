#pragma once

#include "common/LocaleFormat.h"

// Installs a locale for the lifetime of the guard (tests).
class ScopedLocale
{
public:
    explicit ScopedLocale(const QLocale &locale) { LocaleFormat::setLocale(locale); }
    ~ScopedLocale() { LocaleFormat::resetLocale(); }
    ScopedLocale(const ScopedLocale &) = delete;
    ScopedLocale &operator=(const ScopedLocale &) = delete;
};
