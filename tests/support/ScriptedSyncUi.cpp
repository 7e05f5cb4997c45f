// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ScriptedSyncUi.h"

QStringList CScriptedSyncUi::Matching(const QString& prefix) const {
    QStringList out;
    for (const QString& call : calls)
        if (call.startsWith(prefix))
            out << call;
    return out;
}

void CScriptedSyncUi::ShowMessage(const QString& text, MessageIcon icon) {
    calls << (icon == MessageIcon::Stop ? QStringLiteral("stop-message:") : QStringLiteral("message:")) + text;
}

BothChangedAnswer CScriptedSyncUi::AskBothChanged(const QString& pcPath, const QString& /*pcTime*/,
                                                  const QString& epocPath, const QString& /*epocTime*/) {
    calls << QStringLiteral("both-changed:%1|%2").arg(pcPath, epocPath);
    if (duringPrompt)
        duringPrompt();
    if (bothChangedAnswers.empty())
        return BothChangedAnswer::OverwriteOlder;
    const BothChangedAnswer answer = bothChangedAnswers.front();
    bothChangedAnswers.pop_front();
    return answer;
}

RecentSyncAnswer CScriptedSyncUi::AskRecentSync(const QString& pcPath, const QString& epocPath,
                                                const QString& /*lastSyncTime*/) {
    calls << QStringLiteral("recent:%1|%2").arg(pcPath, epocPath);
    if (duringPrompt)
        duringPrompt();
    if (recentSyncAnswers.empty())
        return RecentSyncAnswer::DoNotSynchronize;
    const RecentSyncAnswer answer = recentSyncAnswers.front();
    recentSyncAnswers.pop_front();
    return answer;
}

CopyErrorAnswer CScriptedSyncUi::AskCopyError(const QString& destination, const QString& reason) {
    calls << QStringLiteral("copy-error:") + destination;
    copyErrorReasons << reason;
    if (duringCopyError)
        duringCopyError();
    if (copyErrorAnswers.empty())
        return CopyErrorAnswer::IgnoreFile;
    const CopyErrorAnswer answer = copyErrorAnswers.front();
    copyErrorAnswers.pop_front();
    return answer;
}

void CScriptedSyncUi::ShowCompletion(const QString& /*logPath*/, bool errorsOccurred) {
    calls << QStringLiteral("completion:%1").arg(errorsOccurred ? 1 : 0);
    completionShown = true;
    completionErrors = errorsOccurred;
}

void CScriptedSyncUi::CloseWindow(bool ok) {
    calls << QStringLiteral("close:%1").arg(ok ? 1 : 0);
    closed = true;
}
