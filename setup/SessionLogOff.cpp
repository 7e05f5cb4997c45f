// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SessionLogOff.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::function<bool()>& Handler() {
    static std::function<bool()> handler;
    return handler;
}

bool RunSessionControl(const QStringList& arguments) {
    return QProcess::execute(u"loginctl"_s, arguments) == 0;
}

// The session this program runs in, else every session of the user.
bool LogOffThroughLogind() {
    const QString session = qEnvironmentVariable("XDG_SESSION_ID");
    const QString user = QString::number(::getuid());
    const QStringList polite =
        session.isEmpty() ? QStringList{u"terminate-user"_s, user} : QStringList{u"terminate-session"_s, session};
    if (RunSessionControl(polite))
        return true;
    const QStringList forced = session.isEmpty() ? QStringList{u"kill-user"_s, user, u"--signal=SIGKILL"_s}
                                                 : QStringList{u"kill-session"_s, session, u"--signal=SIGKILL"_s};
    return RunSessionControl(forced);
}

}  // namespace

bool LogOffSession() {
    if (Handler())
        return Handler()();
    return LogOffThroughLogind();
}

void SetLogOffHandler(std::function<bool()> handler) {
    Handler() = std::move(handler);
}
