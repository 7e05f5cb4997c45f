// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DateTimeText.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <vector>

namespace {
// One piece of a date-time format: a field (a run of one letter) or literal text, quoted or not.
struct FormatPiece {
    QString text;
    bool field = false;
    bool quoted = false;
};

std::vector<FormatPiece> SplitFormat(const QString& format) {
    std::vector<FormatPiece> pieces;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype end = i + 1;
        FormatPiece piece;
        if (c == QLatin1Char('\'')) {
            // Up to the closing quote; two quotes inside stand for one.
            while (end < format.size()) {
                if (format.at(end) == QLatin1Char('\'')) {
                    if (end + 1 < format.size() && format.at(end + 1) == QLatin1Char('\'')) {
                        end += 2;
                        continue;
                    }
                    ++end;
                    break;
                }
                ++end;
            }
            piece.quoted = true;
        } else if (c.isLetter() && c.unicode() < 0x80) {
            while (end < format.size() && format.at(end) == c)
                ++end;
            piece.field = true;
        } else {
            while (end < format.size() && format.at(end) != QLatin1Char('\'') &&
                   !(format.at(end).isLetter() && format.at(end).unicode() < 0x80))
                ++end;
        }
        piece.text = format.mid(i, end - i);
        pieces.push_back(piece);
        i = end;
    }
    return pieces;
}

bool IsZoneField(const FormatPiece& piece) {
    return piece.field && piece.text.at(0) == QLatin1Char('t');
}

QChar OpeningBracket(QChar closing) {
    switch (closing.unicode()) {
        case u')':
            return QLatin1Char('(');
        case u']':
            return QLatin1Char('[');
        case u'\uFF09':
            return QChar(u'\uFF08');
        default:
            return {};
    }
}

// Separators that only lead to or from the zone name.
bool IsZoneSeparator(QChar c) {
    return c.isSpace() || c == QLatin1Char(',') || c == QChar(u'\u060C') || c == QChar(u'\uFF0C');
}
}  // namespace

QString TimeFormatWithoutZone(const QString& format) {
    std::vector<FormatPiece> pieces = SplitFormat(format);
    for (std::size_t i = 0; i < pieces.size();) {
        if (!IsZoneField(pieces[i])) {
            ++i;
            continue;
        }
        // The unquoted text on each side of the zone belongs to it when it only brackets or
        // separates it: "(t)", "[t]", ", t", " t".
        FormatPiece* before = i > 0 && !pieces[i - 1].field && !pieces[i - 1].quoted ? &pieces[i - 1] : nullptr;
        FormatPiece* after =
            i + 1 < pieces.size() && !pieces[i + 1].field && !pieces[i + 1].quoted ? &pieces[i + 1] : nullptr;
        if (before && after) {
            const QString closing = after->text.trimmed();
            QString opening = before->text;
            while (!opening.isEmpty() && opening.back().isSpace())
                opening.chop(1);
            if (!closing.isEmpty() && !opening.isEmpty() && OpeningBracket(closing.front()) == opening.back()) {
                before->text = opening.chopped(1);
                after->text = after->text.mid(after->text.indexOf(closing.front()) + 1);
            }
        }
        const bool atEnd = i + 1 == pieces.size() || (after && i + 2 == pieces.size());
        const bool atStart = i == 0 || (before && i == 1);
        if (atEnd && before) {
            while (!before->text.isEmpty() && IsZoneSeparator(before->text.back()))
                before->text.chop(1);
        }
        if (atEnd && after) {
            while (!after->text.isEmpty() && IsZoneSeparator(after->text.front()))
                after->text.remove(0, 1);
        }
        if (atStart && after) {
            while (!after->text.isEmpty() && IsZoneSeparator(after->text.front()))
                after->text.remove(0, 1);
        }
        if (!atStart && !atEnd && before && after && !before->text.isEmpty() && before->text.back().isSpace()) {
            while (!after->text.isEmpty() && after->text.front().isSpace())
                after->text.remove(0, 1);
        }
        pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(i));
    }
    QString result;
    for (const FormatPiece& piece : pieces)
        result += piece.text;
    return result.trimmed();
}

QString FormatLocalDateTime(int64_t secondsUtc) {
    return FormatLocalDateTime(secondsUtc, QLocale::system());
}

QString FormatLocalDateTime(int64_t secondsUtc, const QLocale& locale) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(secondsUtc, Qt::UTC).toLocalTime();
    // The long time format carries seconds but also the zone name, which is left out.
    const QString timeFormat = TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(local.time(), timeFormat);
}
