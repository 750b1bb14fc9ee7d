#include "station/ConfigSettings.h"

#include "common/LocaleFormat.h"
#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "station/ConfigDialogTexts.h"
#include "station/ConfigValueChecks.h"
#include "station/LimitLabels.h"
#include "station/MeasurementTexts.h"
#include "station/StationConfigFile.h"
#include "station/StationCore.h"
#include "station/StationIdentifier.h"
#include "station/StationWindow.h"

#include <cmath>
#include <optional>

namespace {

struct ThresholdField
{
    ConfigField field;
    QByteArray StationConfig::*setting;
    const char *message;
};

constexpr ThresholdField kThresholds[] = {
    {ConfigField::Tmin, &StationConfig::TempMin, ConfigDialogTexts::TminNotFloat},
    {ConfigField::Tmax, &StationConfig::TempMax, ConfigDialogTexts::TmaxNotFloat},
    {ConfigField::TPmin, &StationConfig::TPMin, ConfigDialogTexts::TPminNotFloat},
    {ConfigField::TPmax, &StationConfig::TPMax, ConfigDialogTexts::TPmaxNotFloat},
    {ConfigField::T_TPmin, &StationConfig::TTPMin, ConfigDialogTexts::T_TPminNotFloat},
    {ConfigField::T_TPmax, &StationConfig::TTPMax, ConfigDialogTexts::T_TPmaxNotFloat},
    {ConfigField::RHmin, &StationConfig::RHMin, ConfigDialogTexts::RHminNotFloat},
    {ConfigField::RHmax, &StationConfig::RHMax, ConfigDialogTexts::RHmaxNotFloat},
};

const ThresholdField *thresholdOf(ConfigField field)
{
    for (const ThresholdField &t : kThresholds)
        if (t.field == field)
            return &t;
    return nullptr;
}

constexpr ConfigFlag kContactFlags[] = {ConfigFlag::Rx, ConfigFlag::RI, ConfigFlag::DC, ConfigFlag::Cts};
constexpr bool StationConfig::*kContactSettings[] = {&StationConfig::CheckRX, &StationConfig::CheckRI,
                                                     &StationConfig::CheckDC, &StationConfig::CheckCTS};

// A threshold as the alarm evaluation reads it, so every threshold the
// dialog accepts is the limit the evaluation applies.
bool isThresholdNumber(const QByteArray &text)
{
    return ConfigValueChecks::fitsOneLine(text) && ConfigFormat::toThreshold(text).has_value();
}

// The station's notices for the save's failure messages.
class CoreNotices : public NoticeSink
{
public:
    explicit CoreNotices(StationCore &core)
        : m_core(core)
    {}
    NoticeAnswer show(const QByteArray &text, NoticeButtons buttons) override
    {
        return m_core.notify(text, buttons);
    }

private:
    StationCore &m_core;
};

// SharedDataSemaphore for the scope, taken only with a sender. On the GUI
// thread the wait runs the queued hand-overs between short tries, so a
// viewer connection that holds the semaphore while it hands its remote
// configuration over gets it done (and may change the dialog meanwhile).
class SenderLock
{
public:
    SenderLock(StationCore &core, bool sender)
    {
        if (sender)
            m_lock.emplace(core.semaphore);
    }
    void unlock() { m_lock.reset(); }

private:
    std::optional<SharedDataLock> m_lock;
};

} // namespace

ConfigSettings::ConfigSettings(StationCore &core, StationWindow &window, ConfigDialogView &view,
                               const QByteArray &captionPrefix)
    : m_core(core)
    , m_window(window)
    , m_view(view)
    , m_captionPrefix(captionPrefix)
{}

void ConfigSettings::reject(ConfigField field, bool sender, const char *message)
{
    if (sender && message)
        m_core.notify(Text8::cp(message));
    m_view.setFieldText(field, {});
    if (sender)
        m_view.focusField(field);
    InputRejected = true;
    if (!m_emptied.contains(field))
        m_emptied.append(field);
}

bool ConfigSettings::emptiedByRejection(ConfigField field, const QByteArray &text)
{
    if (Text8::trimmed(text).isEmpty())
        return m_emptied.contains(field);
    m_emptied.removeAll(field);
    return false;
}

void ConfigSettings::thresholdExit(ConfigField field, bool sender)
{
    const ThresholdField *t = thresholdOf(field);
    if (!t)
        return;
    StationConfig &cfg = m_core.config;
    const QByteArray text = m_view.fieldText(field);
    if (emptiedByRejection(field, text))
        return;
    if (Text8::trimmed(text).isEmpty()) {
        SenderLock lock(m_core, sender);
        if (!ConfigUnconfirmed)
            cfg.*(t->setting) = " ";
        return;
    }
    if (!isThresholdNumber(text)) {
        reject(field, sender, t->message);
        return;
    }
    SenderLock lock(m_core, sender);
    // A remote configuration that ran while this waited for the semaphore
    // has checked and copied the field itself.
    if (m_view.fieldText(field) != text)
        return;
    if (!ConfigUnconfirmed)
        cfg.*(t->setting) = text;
}

void ConfigSettings::kennungExit(bool sender)
{
    QByteArray id = m_view.fieldText(ConfigField::Kennung);
    if (emptiedByRejection(ConfigField::Kennung, id))
        return;
    // The identifier names the record, error and copy files: one that
    // could not be a plain file name in the working folder is refused, as
    // typed or received (the rule below would cut off what follows the
    // seventh character).
    if (!ConfigValueChecks::isPlainStationId(id)) {
        m_ruledId.clear();
        reject(ConfigField::Kennung, sender, ConfigDialogTexts::IdNotPlain);
        return;
    }
    // The rule's own result stands: the save runs the rule again, and eight
    // underscores, cut to seven, would then turn into hyphens.
    if (id != m_ruledId) {
        id = Text8::upper(id);
        while (id.size() < 7)
            id += '-';
        if (id == "_______")
            id = "-------";
        if (id.size() > 7)
            id = id.left(7);
    }
    m_ruledId = id;
    m_view.setFieldText(ConfigField::Kennung, id);
    if (!ConfigUnconfirmed) {
        m_core.config.StationId = id;
        m_window.setCaption(m_captionPrefix + Text8::upper(id));
    }
}

void ConfigSettings::heronserverExit(bool sender)
{
    StationConfig &cfg = m_core.config;
    QByteArray s = m_view.fieldText(ConfigField::Heronserver);
    if (emptiedByRejection(ConfigField::Heronserver, s))
        return;
    if (!ConfigValueChecks::fitsOneLine(s)) {
        reject(ConfigField::Heronserver, sender, ConfigDialogTexts::ServerNotOneLine);
        return;
    }
    if (!ConfigUnconfirmed) {
        QByteArray port = "2000";
        const qsizetype colon = s.indexOf(':');
        if (!s.isEmpty() && colon >= 0) {
            port = s.mid(colon + 1);
            s = s.left(colon);
        }
        if (ConfigFormat::toInteger(port))
            cfg.ServerPort = port;
        m_window.setServerDisplay(s);
        cfg.ServerHost = s;
    }
    // A host of blanks is saved as an empty one: it warns as well.
    if (Text8::trimmed(s).isEmpty())
        m_core.notify(Text8::cp(ConfigDialogTexts::NoServerWarning));
}

void ConfigSettings::alarmintervallExit(bool sender)
{
    const QByteArray text = m_view.fieldText(ConfigField::Alarmintervall);
    if (emptiedByRejection(ConfigField::Alarmintervall, text))
        return;
    if (text.isEmpty()) {
        SenderLock lock(m_core, sender);
        if (!ConfigUnconfirmed)
            m_core.config.AlarmInterval = "0";
        return;
    }
    const std::optional<qint32> v = ConfigFormat::toInteger(text);
    if (!v) {
        reject(ConfigField::Alarmintervall, sender, ConfigDialogTexts::IntervalNotInteger);
        return;
    }
    if (*v < 0 || *v > 24) {
        m_core.notify(Text8::cp(ConfigDialogTexts::IntervalOutOfRange)); // also without a sender
        reject(ConfigField::Alarmintervall, sender, nullptr);
        return;
    }
    SenderLock lock(m_core, sender);
    if (m_view.fieldText(ConfigField::Alarmintervall) != text)
        return;
    if (!ConfigUnconfirmed)
        m_core.config.AlarmInterval = text;
}

void ConfigSettings::cpuMaxTempExit(bool sender)
{
    StationConfig &cfg = m_core.config;
    StationState &st = m_core.state;
    const QByteArray text = m_view.fieldText(ConfigField::CPUMAXTemp);
    if (emptiedByRejection(ConfigField::CPUMAXTemp, text))
        return;
    if (Text8::trimmed(text).isEmpty()) {
        SenderLock lock(m_core, sender);
        if (!ConfigUnconfirmed)
            cfg.CpuMaxTempDistance = " ";
        return;
    }
    const std::optional<qint32> v = ConfigFormat::toInteger(text);
    if (!v) {
        reject(ConfigField::CPUMAXTemp, sender, ConfigDialogTexts::CpuDistanceNotInteger);
        return;
    }
    SenderLock lock(m_core, sender);
    const qint32 tjMax = st.CpuTjMax.load();
    // 0 is kept (the limit is CpuTjMax itself), CpuTjMax is not (a limit of
    // 0 would raise the CPU alarm at every reading): the same ends as the
    // start-up reader's.
    if (*v < 0 || *v >= tjMax) {
        lock.unlock();
        const QByteArray message = Text8::cp(ConfigDialogTexts::CpuDistanceRangePrefix) +
                                   QByteArray::number(tjMax) + ConfigDialogTexts::CpuDistanceRangeSuffix;
        if (sender)
            m_core.notify(message);
        reject(ConfigField::CPUMAXTemp, sender, nullptr);
        return;
    }
    if (m_view.fieldText(ConfigField::CPUMAXTemp) != text)
        return;
    if (!ConfigUnconfirmed) {
        cfg.CpuMaxTempDistance = text;
        st.CpuTempLimit = tjMax - *v;
    }
}

void ConfigSettings::formCreate()
{
    const QByteArray device = m_core.state.DeviceStationId.get();
    if (!device.isEmpty()) {
        m_view.setFieldText(ConfigField::Kennung, device);
        m_view.setIdentifierWritable(false);
    }
    InputRejected = false;
    ConfigUnconfirmed = true;
}

QList<QByteArray> ConfigSettings::serverPresets() const
{
    const StationConfig &cfg = m_core.config;
    QList<QByteArray> entries{ConfigDialogTexts::LoopbackServer};
    const QByteArray configured = Text8::trimmed(cfg.ServerHost) + ':' + Text8::trimmed(cfg.ServerPort);
    if (!Text8::trimmed(cfg.ServerHost).isEmpty() && !entries.contains(configured))
        entries.append(configured);
    return entries;
}

void ConfigSettings::setManualBox(bool checked)
{
    if (m_view.flag(ConfigFlag::ManualId) == checked)
        return;
    m_view.setFlag(ConfigFlag::ManualId, checked);
    checkBox1Click();
}

void ConfigSettings::formActivate()
{
    const StationConfig &cfg = m_core.config;
    const StationState &st = m_core.state;
    m_window.stopWindowTimer(StationTimer::Timer1);
    m_view.markConfigDialogWindow();
    ConfigUnconfirmed = true;
    m_emptied.clear();
    m_ruledId.clear();

    m_view.setFieldText(ConfigField::ComPort, m_window.portText());
    for (const ThresholdField &t : kThresholds)
        m_view.setFieldText(t.field, cfg.*(t.setting));
    for (int i = 0; i < 4; ++i)
        m_view.setFlag(kContactFlags[i], cfg.*kContactSettings[i]);
    setManualBox(cfg.ManualStationId);
    m_view.setFieldText(ConfigField::Kennung, cfg.StationId);
    m_view.setServerPresets(serverPresets());
    m_view.setFieldText(ConfigField::Heronserver, cfg.ServerHost + ':' + cfg.ServerPort);
    m_view.setFieldText(ConfigField::Alarmintervall, cfg.AlarmInterval);
    m_view.setFieldText(ConfigField::CPUMAXTemp, QByteArray::number(st.CpuTjMax.load() - st.CpuTempLimit));
}

void ConfigSettings::formDeactivate(bool sender)
{
    StationConfig &cfg = m_core.config;
    StationState &st = m_core.state;
    m_window.startWindowTimer(StationTimer::Timer1);
    if (ConfigUnconfirmed)
        return;

    for (const ThresholdField &t : kThresholds)
        thresholdExit(t.field, sender);
    kennungExit(sender);
    heronserverExit(sender);
    alarmintervallExit(sender);
    cpuMaxTempExit(sender);

    FillLimitLabels(cfg, m_window);
    for (int i = 0; i < 4; ++i)
        cfg.*kContactSettings[i] = m_view.flag(kContactFlags[i]);
    m_window.setContactWatch(cfg.CheckRI, cfg.CheckDC);
    const QByteArray port = m_view.fieldText(ConfigField::ComPort);
    if (ConfigValueChecks::fitsOneLine(port))
        m_window.setPortText(port);
    else
        reject(ConfigField::ComPort, sender, MeasurementTexts::IllegalComPort);
    if (InputRejected)
        return;

    cfg.ManualStationId = m_view.flag(ConfigFlag::ManualId);
    CoreNotices notices(m_core);
    SaveStationConfigFiles(
        cfg, [this] { return m_window.portText(); }, notices);
    if (!st.TerminateRequested.load())
        st.ImmediateReport = true;
    m_view.acknowledge();
}

bool ConfigSettings::okClick()
{
    if (m_core.state.UpdateFileLocked.load()) {
        m_core.notify(Text8::cp(ConfigDialogTexts::UpdateFileLocked));
        return false;
    }
    ConfigUnconfirmed = false;
    return true;
}

void ConfigSettings::cancelClick()
{
    ConfigUnconfirmed = true;
}

void ConfigSettings::checkBox1Click()
{
    const bool manual = m_view.flag(ConfigFlag::ManualId);
    m_core.config.ManualStationId = manual;
    m_view.setIdentifierWritable(manual);
}

void ConfigSettings::comSelectChange()
{
    const QByteArray t = m_view.fieldText(ConfigField::ComPort);
    if (t.size() <= 4) {
        m_core.config.StationId.clear();
        m_view.setFieldText(ConfigField::Kennung, {});
        return;
    }
    const QByteArray serial = GetFtdiSerialForPort(Text8::upper(t), m_core.ports());
    if (serial.isEmpty())
        return;
    m_core.state.DeviceStationId.set(serial);
    m_view.setFieldText(ConfigField::Kennung, serial);
    m_view.setIdentifierWritable(false);
    m_core.config.StationId = serial;
}

void ConfigSettings::remoteSet(int item, const QByteArray &value)
{
    const auto set = [this](ConfigField field, const QByteArray &text) {
        m_emptied.removeAll(field); // the remote text counts as typed
        m_view.setFieldText(field, text);
    };
    if (item >= 1 && item <= 8) {
        set(kThresholds[item - 1].field, value);
    } else if (item >= 9 && item <= 12) {
        if (const std::optional<bool> b = ConfigFormat::toBoolean(value))
            m_view.setFlag(kContactFlags[item - 9], *b);
    } else if (item == 13) {
        set(ConfigField::Kennung, value);
    } else if (item == 14) {
        set(ConfigField::Heronserver, value);
    } else if (item == 16) {
        set(ConfigField::Alarmintervall, value);
    } else if (item == 17) {
        set(ConfigField::CPUMAXTemp, value);
    }
    // Item 15, the port: the station keeps polling its own.
}

void ConfigSettings::remoteApply()
{
    // A refused value counts for the configuration that carried it: one
    // refused earlier, by an earlier viewer's configuration or in the
    // operator's open dialog, does not keep this one from being saved. The
    // flag is given back afterwards, so the operator's dialog is shown again
    // as before.
    const bool rejectedBefore = InputRejected;
    InputRejected = false;
    ConfigUnconfirmed = false;
    setManualBox(m_core.config.ManualStationId);
    m_view.setFieldText(ConfigField::ComPort, m_window.portText());
    formDeactivate(false);
    InputRejected = InputRejected || rejectedBefore;
}
