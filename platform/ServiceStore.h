#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The service host's named values, each kept as raw bytes exactly as written
// (a writer that stores no terminating zero is read back as it stored it).
// Names are looked up without regard to case.
class ServiceStore
{
public:
    virtual ~ServiceStore() = default;
    // nullopt when the store (the service key) or the value does not exist.
    virtual std::optional<QByteArray> readValue(const QByteArray &name) = 0;
    // false when the store does not exist or the value cannot be written.
    virtual bool writeValue(const QByteArray &name, const QByteArray &data) = 0;
};

// One file per value in a directory. The directory stands for the service
// key: when it does not exist, reads give nothing and writes are skipped.
class DirectoryServiceStore : public ServiceStore
{
public:
    explicit DirectoryServiceStore(QString dir);

    // $KLIMAWARTE_SERVICE_DIR, else <state dir>/klimawarte/services/zav_sensor.
    static QString defaultDirectory();

    std::optional<QByteArray> readValue(const QByteArray &name) override;
    bool writeValue(const QByteArray &name, const QByteArray &data) override;
    QString directory() const { return m_dir; }

private:
    QString fileFor(const QByteArray &name) const;
    QString m_dir;
};
