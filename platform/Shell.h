#pragma once

#include <QByteArray>
#include <QString>

// Opens a file, script or address the way the desktop shell does and answers
// with a shell-style result: above 32 on success, otherwise a failure code.
class Shell
{
public:
    enum Result : int {
        FileNotFound = 2,
        PathNotFound = 3,
        AccessDenied = 5,
        NoAssociation = 31,
        Started = 42,
    };
    enum class Show { Normal, Minimized };

    virtual ~Shell() = default;
    virtual int open(const QString &file, const QString &parameters, const QString &directory, Show show) = 0;
};

// Linux: executables start detached, addresses go to the desktop; Windows
// scripts (.vbs, .bat, .cmd) have no handler and give NoAssociation.
class DesktopShell : public Shell
{
public:
    int open(const QString &file, const QString &parameters, const QString &directory, Show show) override;
};
