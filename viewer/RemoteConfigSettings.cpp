#include "viewer/RemoteConfigSettings.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "viewer/RemoteConfigTexts.h"
#include "viewer/RemoteStationState.h"

#include <QMutexLocker>

#include <optional>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

struct LimitField
{
    RemoteConfigField field;
    QString RemoteStationConfig::*copy;
    const char *message;
};

// In the order in which formDeactivate checks them.
constexpr LimitField kLimits[] = {
    {RemoteConfigField::Tmin, &RemoteStationConfig::TempMin, RemoteConfigTexts::TminNotFloat},
    {RemoteConfigField::Tmax, &RemoteStationConfig::TempMax, RemoteConfigTexts::TmaxNotFloat},
    {RemoteConfigField::TPmin, &RemoteStationConfig::TPMin, RemoteConfigTexts::TPminNotFloat},
    {RemoteConfigField::TPmax, &RemoteStationConfig::TPMax, RemoteConfigTexts::TPmaxNotFloat},
    {RemoteConfigField::T_TPmin, &RemoteStationConfig::TTPMin, RemoteConfigTexts::T_TPminNotFloat},
    {RemoteConfigField::T_TPmax, &RemoteStationConfig::TTPMax, RemoteConfigTexts::T_TPmaxNotFloat},
    {RemoteConfigField::RHmin, &RemoteStationConfig::RHMin, RemoteConfigTexts::RHminNotFloat},
    {RemoteConfigField::RHmax, &RemoteStationConfig::RHMax, RemoteConfigTexts::RHmaxNotFloat},
};

const LimitField *limitOf(RemoteConfigField field)
{
    for (const LimitField &l : kLimits)
        if (l.field == field)
            return &l;
    return nullptr;
}

struct BoundField
{
    RemoteConfigField field;
    QString RemoteStationConfig::*copy;
};

// The controls in the order activation loads them; deactivation copies the
// first ten back (the interval and the CPU distance only by their checks).
constexpr BoundField kBound[] = {
    {RemoteConfigField::Tmin, &RemoteStationConfig::TempMin},
    {RemoteConfigField::Tmax, &RemoteStationConfig::TempMax},
    {RemoteConfigField::TPmin, &RemoteStationConfig::TPMin},
    {RemoteConfigField::TPmax, &RemoteStationConfig::TPMax},
    {RemoteConfigField::T_TPmin, &RemoteStationConfig::TTPMin},
    {RemoteConfigField::T_TPmax, &RemoteStationConfig::TTPMax},
    {RemoteConfigField::RHmin, &RemoteStationConfig::RHMin},
    {RemoteConfigField::RHmax, &RemoteStationConfig::RHMax},
    {RemoteConfigField::Kennung, &RemoteStationConfig::StationId},
    {RemoteConfigField::Heronserver, &RemoteStationConfig::Server},
    {RemoteConfigField::Alarmintervall, &RemoteStationConfig::AlarmInterval},
    {RemoteConfigField::CPUMaxtemp, &RemoteStationConfig::CpuMaxTempDistance},
};
constexpr int kCopiedBack = 10;

} // namespace

RemoteConfigSettings::RemoteConfigSettings(RemoteConfigHost &host, RemoteConfigView &view)
    : m_host(host)
    , m_view(view)
{}

RemoteStationState &RemoteConfigSettings::state()
{
    return m_host.remoteState();
}

void RemoteConfigSettings::formCreate()
{
    m_inputRejected = false;
}

// Field checks

void RemoteConfigSettings::reject(RemoteConfigField field, const QString &message)
{
    m_view.showMessage(message);
    m_view.clearField(field);
    m_view.focusField(field);
    m_inputRejected = true;
}

void RemoteConfigSettings::limitExit(RemoteConfigField field)
{
    const LimitField *limit = limitOf(field);
    if (!limit)
        return;
    const QString text = m_view.fieldText(field);
    if (text.isEmpty())
        return;
    // Blanks around the number do not hinder the conversion; the copy keeps them.
    if (!ConfigFormat::toThreshold(Text8::fromQString(text))) {
        reject(field, u(limit->message));
        return;
    }
    QMutexLocker lock(&state().ConfigSection);
    if (!m_configUnconfirmed)
        state().config.*limit->copy = text;
}

void RemoteConfigSettings::alarmintervallExit()
{
    const QString text = m_view.fieldText(RemoteConfigField::Alarmintervall);
    if (text.isEmpty()) {
        // Also while the dialog is not confirmed.
        QMutexLocker lock(&state().ConfigSection);
        state().config.AlarmInterval = QStringLiteral("0");
        return;
    }
    const std::optional<qint32> v = ConfigFormat::toInteger(Text8::fromQString(text));
    if (!v) {
        reject(RemoteConfigField::Alarmintervall, u(RemoteConfigTexts::IntervalNotInteger));
        return;
    }
    {
        QMutexLocker lock(&state().ConfigSection);
        if (!m_configUnconfirmed)
            state().config.AlarmInterval = text;
    }
    // The range comes after the copy: a value out of range stays copied.
    if (*v < 0 || *v > 24)
        reject(RemoteConfigField::Alarmintervall, u(RemoteConfigTexts::IntervalOutOfRange));
}

void RemoteConfigSettings::cpuMaxtempExit()
{
    const QString text = m_view.fieldText(RemoteConfigField::CPUMaxtemp);
    if (text.isEmpty())
        return;
    const std::optional<qint32> v = ConfigFormat::toInteger(Text8::fromQString(text));
    if (!v) {
        reject(RemoteConfigField::CPUMaxtemp, u(RemoteConfigTexts::CpuNotInteger));
        return;
    }
    QMutexLocker lock(&state().ConfigSection);
    const qint32 tjMax = state().StationTjMax;
    // 0 is kept (the CPU turns red only at its maximum), StationTjMax is not
    // (the station would count every reading as too hot): the ends the
    // station's own dialog keeps.
    if (*v < 0 || *v >= tjMax) {
        lock.unlock(); // no lock over a message window
        reject(RemoteConfigField::CPUMaxtemp, u(RemoteConfigTexts::CpuRangePrefix) + QString::number(tjMax) +
                                                  u(RemoteConfigTexts::CpuRangeSuffix));
        return;
    }
    if (!m_configUnconfirmed)
        state().config.CpuMaxTempDistance = text;
}

void RemoteConfigSettings::kennungExit()
{
    QByteArray id = Text8::upper(Text8::fromQString(m_view.fieldText(RemoteConfigField::Kennung)));
    while (id.size() < RemoteConfigTexts::IdLength)
        id.append(RemoteConfigTexts::IdFill);
    id.truncate(RemoteConfigTexts::IdLength);
    m_view.setFieldText(RemoteConfigField::Kennung, Text8::toQString(id));
}

void RemoteConfigSettings::heronserverExit()
{
    if (m_view.fieldText(RemoteConfigField::Heronserver).isEmpty())
        m_view.showMessage(u(RemoteConfigTexts::NoServer));
}

void RemoteConfigSettings::modifyKennungClick()
{
    const bool manual = m_view.modifyKennung();
    m_view.colourIdentifier(manual ? IdentifierColour::SystemWindow : IdentifierColour::Silver);
    QMutexLocker lock(&state().ConfigSection);
    state().StationIdLocked = !manual;
}

// Activation and deactivation

void RemoteConfigSettings::formActivate()
{
    m_configUnconfirmed = true;
    RemoteStationState &st = state();
    QMutexLocker lock(&st.ConfigSection);
    st.ConfigState = 1;
    for (const BoundField &b : kBound)
        m_view.setFieldText(b.field, st.config.*b.copy);

    m_view.setDialogChecks(m_host.contactChecks());

    const bool locked = st.StationIdLocked;
    m_view.setModifyKennung(!locked); // runs modifyKennungClick when the state changes
    m_view.setIdentifierReadOnly(locked);
    m_view.colourIdentifier(locked ? IdentifierColour::InactiveCaptionText : IdentifierColour::CaptionText);
}

void RemoteConfigSettings::formDeactivate()
{
    if (m_configUnconfirmed)
        return;
    RemoteStationState &st = state();
    {
        QMutexLocker lock(&st.ConfigSection);
        for (const LimitField &l : kLimits)
            limitExit(l.field);
        kennungExit();
        heronserverExit();
        alarmintervallExit();
        cpuMaxtempExit();

        for (int i = 0; i < kCopiedBack; ++i)
            st.config.*kBound[i].copy = m_view.fieldText(kBound[i].field);

        m_host.setContactChecks(m_view.dialogChecks());
    }
    if (!m_inputRejected) {
        st.ConfigSendRequested = true;
        st.ConfigState = 1;
    }
}

void RemoteConfigSettings::okClick()
{
    m_configUnconfirmed = false;
}

void RemoteConfigSettings::cancelClick()
{
    m_configUnconfirmed = true;
}
