// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncLog.h"

#include "common/Clock.h"
#include "common/ProfileRegistry.h"
#include "common/StoreCheck.h"
#include "common/StringTable.h"

#include <QDateTime>
#include <QLocale>

#include <sys/stat.h>
#include <utility>

using namespace Qt::StringLiterals;

CSyncLog::CSyncLog(QString folder, QString version) : m_folder(std::move(folder)), m_version(std::move(version)) {}

CSyncLog::~CSyncLog() {
    Close();
}

bool CSyncLog::Open(const QString& productKey, const QString& user, const QString& valueName, const QString& title) {
    if (!m_closed)
        return true;
    m_path = u"%1%2{%3}.srp"_s.arg(m_folder, title, user);
    // Written only when it moved: a commit would also make the run read its bindings again.
    if (QString stored; !ReadUserString(user, productKey, valueName, stored) || stored != m_path)
        WriteUserString(user, productKey, valueName, m_path);
    m_file.setFileName(m_path);
    // Private to the user, as the names of documents in it may be; an earlier log keeps its
    // mode when it is truncated, so it is set on the open file too.
    constexpr QFile::Permissions kPrivate = QFile::ReadOwner | QFile::WriteOwner;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate, kPrivate))
        return false;
    ::fchmod(m_file.handle(), 0600);
    m_closed = false;
    WriteLine(m_version.isEmpty() ? title : title + QLatin1Char(' ') + m_version);
    const QDateTime now = CClock::CurrentDateTimeUtc().toLocalTime();
    WriteLine(QLocale::system().toString(now, QLocale::LongFormat));
    return !m_closed;
}

void CSyncLog::WriteLine(const QString& text, int32_t code) {
    WriteRaw({EscapeControlCharacters(code == 0 ? text : u"%1 [%2]"_s.arg(text).arg(code))});
}

void CSyncLog::WriteLines(const QString& text) {
    QString lines = text;
    lines.replace(u"\r\n"_s, u"\n"_s).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList escaped;
    for (const QString& line : lines.split(QLatin1Char('\n')))
        escaped << EscapeControlCharacters(line);
    WriteRaw(escaped);
}

void CSyncLog::WriteString(int stringId, int32_t code) {
    const QString text = CStringTable::Load(stringId);
    WriteLines(code == 0 ? text : u"%1 [%2]"_s.arg(text).arg(code));
}

void CSyncLog::WriteEmptyLine() {
    WriteRaw({QString()});
}

void CSyncLog::WriteLastLine(const QString& text) {
    WriteLine(text);
    Close();
}

void CSyncLog::WriteLastString(int stringId) {
    WriteString(stringId);
    Close();
}

void CSyncLog::Close() {
    if (m_file.isOpen())
        m_file.close();
    m_closed = true;
}

void CSyncLog::WriteRaw(const QStringList& lines) {
    if (m_closed)
        return;
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLocal8Bit() + "\r\n";
    // Unbuffered so that a crash or a Stop still leaves every line written so far.
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        Close();
}
