// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/PlanLine.h"

#include "common/StoreCheck.h"

#include <QDateTime>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

template <typename Enum>
bool FromWord(const QString& word, Enum last, QString (*toWord)(Enum), Enum& out) {
    for (int i = 0; i <= static_cast<int>(last); ++i) {
        if (toWord(static_cast<Enum>(i)) == word) {
            out = static_cast<Enum>(i);
            return true;
        }
    }
    return false;
}

bool ParseSide(const QString& size, const QString& time, CPlanSide& side) {
    side = {};
    if (size.isEmpty() && time.isEmpty())
        return true;
    bool sizeOk = false;
    side.size = size.toULongLong(&sizeOk);
    const QDateTime when = QDateTime::fromString(time, Qt::ISODate);
    if (!sizeOk || !when.isValid())
        return false;
    side.time = when.toSecsSinceEpoch();
    side.known = true;
    return true;
}

QString SideFields(const CPlanSide& side) {
    if (!side.known)
        return u"\t"_s;
    return QString::number(side.size) + u'\t' + QDateTime::fromSecsSinceEpoch(side.time, Qt::UTC).toString(Qt::ISODate);
}

}  // namespace

QString PlanActionWord(PlanAction action) {
    switch (action) {
        case PlanAction::ToHandheld:
            return u"to-handheld"_s;
        case PlanAction::ToPc:
            return u"to-pc"_s;
        case PlanAction::BothChanged:
            return u"both-changed"_s;
        case PlanAction::InStep:
            return u"in-step"_s;
        case PlanAction::Left:
            return u"left"_s;
        case PlanAction::Refused:
            return u"refused"_s;
    }
    return {};
}

QString PlanReasonWord(PlanReason reason) {
    switch (reason) {
        case PlanReason::PcChanged:
            return u"pc-changed"_s;
        case PlanReason::HandheldMissing:
            return u"handheld-missing"_s;
        case PlanReason::PcNewer:
            return u"pc-newer"_s;
        case PlanReason::HandheldChanged:
            return u"handheld-changed"_s;
        case PlanReason::PcMissing:
            return u"pc-missing"_s;
        case PlanReason::HandheldNewer:
            return u"handheld-newer"_s;
        case PlanReason::AskRecent:
            return u"ask-recent"_s;
        case PlanReason::Ask:
            return u"ask"_s;
        case PlanReason::PcWins:
            return u"pc-wins"_s;
        case PlanReason::HandheldWins:
            return u"handheld-wins"_s;
        case PlanReason::Unchanged:
            return u"unchanged"_s;
        case PlanReason::BothMissing:
            return u"both-missing"_s;
        case PlanReason::CopyRule:
            return u"copy-rule"_s;
        case PlanReason::SameTime:
            return u"same-time"_s;
        case PlanReason::PcUnavailable:
            return u"pc-unavailable"_s;
        case PlanReason::HandheldUnreadable:
            return u"handheld-unreadable"_s;
        case PlanReason::Disconnected:
            return u"disconnected"_s;
        case PlanReason::SameFile:
            return u"same-file"_s;
        case PlanReason::Unreadable:
            return u"unreadable"_s;
        case PlanReason::NotABinding:
            return u"not-a-binding"_s;
    }
    return {};
}

QString FormatPlanLine(const CPlanEntry& entry) {
    return QStringList{EscapeControlCharacters(entry.key),
                       PlanActionWord(entry.action),
                       EscapeControlCharacters(entry.pcPath),
                       EscapeControlCharacters(entry.epocPath),
                       PlanReasonWord(entry.reason),
                       SideFields(entry.pc),
                       SideFields(entry.epoc)}
        .join(u'\t');
}

bool ParsePlanLine(const QString& line, CPlanEntry& entry) {
    const QStringList fields = line.split(u'\t');
    if (fields.size() < 9)
        return false;
    entry = {};
    entry.key = fields[0];
    entry.number = fields[0].toInt();
    entry.pcPath = fields[2];
    entry.epocPath = fields[3];
    return FromWord(fields[1], PlanAction::Refused, &PlanActionWord, entry.action) &&
           FromWord(fields[4], PlanReason::NotABinding, &PlanReasonWord, entry.reason) &&
           ParseSide(fields[5], fields[6], entry.pc) && ParseSide(fields[7], fields[8], entry.epoc);
}
