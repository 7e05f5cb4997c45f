// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/AutostartEntry.h"

#include "common/Launcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
// Characters that make an Exec argument need quoting.
const QString& Reserved() {
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    return reserved;
}

// Escapes of the desktop entry's string values: backslash, line breaks, tabs.
QString EscapeString(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'\\':
                out += QStringLiteral("\\\\");
                break;
            case u'\n':
                out += QStringLiteral("\\n");
                break;
            case u'\t':
                out += QStringLiteral("\\t");
                break;
            case u'\r':
                out += QStringLiteral("\\r");
                break;
            default:
                out += c;
        }
    }
    return out;
}
}  // namespace

QString AutostartEntryPath(const QString& name) {
    // Honours XDG_CONFIG_HOME (absolute only), else ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/") +
           name + QStringLiteral(".desktop");
}

QString DesktopExecValue(const QString& program) {
    bool quote = program.isEmpty();
    QString argument;
    for (const QChar c : program) {
        if (Reserved().contains(c))
            quote = true;
        // Inside quotes these four keep their meaning only when escaped.
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            argument += u'\\';
        // A lone percent sign would start a field code.
        if (c == u'%')
            argument += u'%';
        argument += c;
    }
    if (quote)
        argument = u'"' + argument + u'"';
    return EscapeString(argument);
}

bool WriteAutostartEntry(const QString& name, const QString& program) {
    const QString path = AutostartEntryPath(name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Through the package's launcher where there is one: the log-in start then runs the
    // package's version, and nothing once the package is removed (TryExec).
    const QString launcher = RecordedLauncher();
    const QString exec = launcher.isEmpty()
                             ? DesktopExecValue(program)
                             : DesktopExecValue(launcher) + QStringLiteral(" --start ") + DesktopExecValue(program);
    const QString tryExec =
        launcher.isEmpty() ? QString() : QStringLiteral("TryExec=") + EscapeString(launcher) + QStringLiteral("\n");
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=%1\n"
                             "Comment=Starts automatic synchronization with the handheld\n"
                             "Exec=%2\n"
                             "%3"
                             "Terminal=false\n"
                             "NoDisplay=true\n")
                             .arg(EscapeString(name), exec, tryExec);
    file.write(text.toUtf8());
    return file.commit();
}

bool RemoveAutostartEntry(const QString& name) {
    const QString path = AutostartEntryPath(name);
    return QFile::remove(path) || !QFileInfo::exists(path);
}
