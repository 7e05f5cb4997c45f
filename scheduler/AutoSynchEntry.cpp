// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/AutoSynchEntry.h"

#include "common/ProfileRegistry.h"

using namespace Qt::StringLiterals;

namespace {

constexpr char kAreaName[] = "AutoSynchApps";

// Walks the sub-keys of key; false on a store failure. A missing key has no sub-keys.
bool ListSubKeys(const QString& key, QStringList& names) {
    for (int i = 0;; ++i) {
        QString name;
        switch (RegEnumSubKey(HKEY_CURRENT_USER, key, i, name)) {
            case RegStatus::Ok:
                names.append(name);
                break;
            case RegStatus::NoMoreItems:
            case RegStatus::KeyNotFound:
                return true;
            default:
                return false;
        }
    }
}

enum class ValueRead { Ok, Missing, Bad, StoreFailed };

ValueRead Query(const QString& key, const QString& name, RegValue& value) {
    switch (RegQueryValue(HKEY_CURRENT_USER, key, name, value)) {
        case RegStatus::Ok:
            return ValueRead::Ok;
        case RegStatus::KeyNotFound:
        case RegStatus::ValueNotFound:
            return ValueRead::Missing;
        case RegStatus::InvalidName:
            return ValueRead::Bad;
        default:
            return ValueRead::StoreFailed;
    }
}

// Only a 4-byte number counts; a text or a short value would read as an arbitrary number.
ValueRead ReadNumber(const QString& key, const QString& name, uint32_t& out) {
    RegValue value;
    const ValueRead read = Query(key, name, value);
    if (read != ValueRead::Ok)
        return read;
    if (value.type != kRegDword || value.data.size() != 4)
        return ValueRead::Bad;
    out = 0;
    for (int i = 0; i < 4; ++i)
        out |= uint32_t(uint8_t(value.data[i])) << (8 * i);
    return ValueRead::Ok;
}

ValueRead ReadText(const QString& key, const QString& name, QString& out) {
    RegValue value;
    const ValueRead read = Query(key, name, value);
    if (read != ValueRead::Ok)
        return read;
    if (value.type != kRegSz && value.type != kRegExpandSz)
        return ValueRead::Bad;
    QByteArray bytes = value.data;
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    out = QString::fromUtf8(bytes);
    return out.isEmpty() ? ValueRead::Missing : ValueRead::Ok;
}

}  // namespace

AutoSynchScan ReadAutoSynchEntries() {
    AutoSynchScan scan;
    if (!RegStoreOpens())
        return scan;

    bool failed = false;
    const bool snapshot = RegReadSnapshot([&] {
        const QString usersKey = QLatin1String(kUsersKey);
        QStringList users;
        if (!ListSubKeys(usersKey, users)) {
            failed = true;
            return;
        }
        for (const QString& user : users) {
            const QString areaKey = usersKey + u'\\' + user + u'\\' + QLatin1String(kAreaName);
            QStringList names;
            if (!ListSubKeys(areaKey, names)) {
                failed = true;
                return;
            }
            for (const QString& name : names) {
                const QString key = areaKey + u'\\' + name;
                const QString where = user + u'\\' + name;
                AutoSynchEntry entry{user, name, SynchFrequency::Off, QString(), std::nullopt};

                uint32_t frequency = 0;
                ValueRead read = ReadNumber(key, u"Frequency"_s, frequency);
                if (read == ValueRead::StoreFailed) {
                    failed = true;
                    return;
                }
                if (read == ValueRead::Missing || (read == ValueRead::Ok && frequency == 0))
                    continue;  // off
                if (read == ValueRead::Bad || frequency > uint32_t(SynchFrequency::Weekly)) {
                    scan.skipped.append(where + u": unusable \"Frequency\""_s);
                    continue;
                }
                entry.frequency = SynchFrequency(frequency);

                read = ReadText(key, u"ExecutablePath"_s, entry.executablePath);
                if (read == ValueRead::StoreFailed) {
                    failed = true;
                    return;
                }
                if (read != ValueRead::Ok) {
                    scan.skipped.append(where + u": no usable \"ExecutablePath\""_s);
                    continue;
                }

                uint32_t last = 0;
                read = ReadNumber(key, u"LastSynch"_s, last);
                if (read == ValueRead::StoreFailed) {
                    failed = true;
                    return;
                }
                if (read == ValueRead::Ok)
                    entry.lastSynch = last;
                scan.entries.push_back(std::move(entry));
            }
        }
    });
    scan.ok = snapshot && !failed;
    return scan;
}
