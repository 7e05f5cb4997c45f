// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/help/HelpFile.h"

#include <QFile>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype kMaxHelpFile = 8 * 1024 * 1024;
}

CHelpLoadResult CHelpFile::Load(const QString& path) {
    m_topics.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {false, u"The help file %1 cannot be opened."_s.arg(path)};
    const QByteArray text = file.read(kMaxHelpFile + 1);
    if (text.size() > kMaxHelpFile)
        return {false, u"The help file %1 is too large."_s.arg(path)};
    CHelpLoadResult r = Parse(text);
    if (!r)
        r.Message = u"The help file %1 is damaged: %2"_s.arg(path, r.Message);
    return r;
}

CHelpLoadResult CHelpFile::Parse(const QByteArray& text) {
    m_topics.clear();
    QSet<uint32_t> seen;
    const QStringList lines = QString::fromUtf8(text).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.startsWith(u"@topic"_s)) {
            const QString rest = line.mid(6).trimmed();
            const qsizetype blank = rest.indexOf(u' ');
            const auto context = ParseContext(blank < 0 ? rest : rest.left(blank));
            if (!context)
                return {false, u"line %1 has no valid context number"_s.arg(i + 1)};
            if (seen.contains(*context))
                return {false, u"context %1 appears twice"_s.arg(*context)};
            seen.insert(*context);
            m_topics.push_back({*context, blank < 0 ? QString() : rest.mid(blank + 1).trimmed(), {}});
        } else if (!m_topics.empty()) {
            m_topics.back().Body += line + u'\n';
        } else if (!line.trimmed().isEmpty() && !line.startsWith(u'#')) {
            return {false, u"line %1 lies outside any topic"_s.arg(i + 1)};
        }
    }
    if (m_topics.empty())
        return {false, u"it holds no topic"_s};
    return {true, {}};
}

const CHelpTopic* CHelpFile::Find(uint32_t context) const {
    for (const CHelpTopic& topic : m_topics) {
        if (topic.Context == context)
            return &topic;
    }
    return nullptr;
}

std::optional<uint32_t> CHelpFile::ParseContext(const QString& text) {
    bool ok = false;
    const qulonglong value =
        text.startsWith(u"0x"_s, Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16) : text.toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFull)
        return std::nullopt;
    return uint32_t(value);
}
