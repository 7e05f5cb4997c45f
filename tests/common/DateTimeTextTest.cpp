// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/DateTimeText.h"

#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <gtest/gtest.h>

#include <utility>

TEST(TimeFormatTest, DropsTheZoneWithWhatOnlySurroundsIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"HH:mm:ss t", "HH:mm:ss"},
        {"H:mm:ss (t)", "H:mm:ss"},
        {"Bh:mm:ss [t]", "Bh:mm:ss"},
        {"HH:mm:ss, t", "HH:mm:ss"},
        {"h:mm:ss AP, t", "h:mm:ss AP"},
        {"t h:mm:ss AP", "h:mm:ss AP"},
        {"H:mm:ss 'ch'. t", "H:mm:ss 'ch'."},
        {"'Klock' H.mm:ss (t)", "'Klock' H.mm:ss"},
        {"H 'h' mm 'min' ss 's' t", "H 'h' mm 'min' ss 's'"},
        {"HH:mm:ss 'at' t", "HH:mm:ss 'at'"},  // quoted letters are text, not fields
        {"HH:mm:ss", "HH:mm:ss"},
    };
    for (const auto& [format, expected] : cases)
        EXPECT_EQ(TimeFormatWithoutZone(QString::fromUtf8(format)), QString::fromUtf8(expected)) << format;
}

TEST(TimeFormatTest, NoLocaleLeavesStrayPunctuation) {
    const QTime time(22, 13, 20);
    int checked = 0;
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const QString format = TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
        const QString text = locale.toString(time, format);
        const std::string name = locale.name().toStdString();
        EXPECT_FALSE(format.contains(QLatin1Char('t')) && !format.contains(QLatin1Char('\''))) << name;
        for (const char* stray : {"()", "[]", "( )", "[ ]"})
            EXPECT_FALSE(text.contains(QLatin1String(stray))) << name << ": " << text.toStdString();
        EXPECT_FALSE(text.endsWith(QLatin1Char(',')) || text.endsWith(QLatin1Char(' '))) << name;
        EXPECT_FALSE(text.startsWith(QLatin1Char(' '))) << name;
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

// Spanish, Catalan, Croatian and Basque give "H:mm:ss (t)": the text shows no empty brackets.
TEST(DateTimeTextTest, LocalesWithABracketedZoneShowNoEmptyBrackets) {
    const QTime local = QDateTime::fromSecsSinceEpoch(1700000000).toLocalTime().time();
    for (const char* name : {"es_ES", "ca_ES", "hr_HR", "eu_ES", "en_US", "de_DE"}) {
        SCOPED_TRACE(name);
        const QString text = FormatLocalDateTime(1700000000, QLocale(QString::fromLatin1(name)));
        EXPECT_FALSE(text.contains(QStringLiteral("()"))) << text.toStdString();
        EXPECT_FALSE(text.endsWith(u' ')) << text.toStdString();
        EXPECT_TRUE(text.contains(local.toString(QStringLiteral("ss")))) << "seconds shown: " << text.toStdString();
    }
}
