// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>

// The run's plain-text report, replaced at every run. Lines end with CR LF. A line is
// written as given, except that its control characters are shown escaped ("\x0A", see
// EscapeControlCharacters): names in it come from the store and the handheld, and none of
// them may start a line of its own. Only the program's own texts of several lines (its
// string table, a converter's error output) are written as several lines. Every writing
// call does nothing while the log is closed; a failed write closes it silently.
class CSyncLog {
public:
    // folder: the program's folder, ending with "/"; version: "ProductVersion" of the
    // program (empty when it has none).
    CSyncLog(QString folder, QString version);
    ~CSyncLog();
    CSyncLog(const CSyncLog&) = delete;
    CSyncLog& operator=(const CSyncLog&) = delete;

    // Names the file "<folder><title>{<user>}.srp", records the path as valueName under the
    // user's productKey area (whatever happens next), creates the file and writes the two
    // header lines. True when the log is open; only acts while the log is closed.
    bool Open(const QString& productKey, const QString& user, const QString& valueName, const QString& title);
    // The text, or "text [code]" when code is not 0, as one line.
    void WriteLine(const QString& text, int32_t code = 0);
    // One line per line of the text (CR LF, CR or LF ends one).
    void WriteLines(const QString& text);
    // The string-table text, its code after its last line.
    void WriteString(int stringId, int32_t code = 0);
    void WriteEmptyLine();
    // The line (empty without text, escaped as WriteLine does), then Close.
    void WriteLastLine(const QString& text = QString());
    void WriteLastString(int stringId);
    void Close();

    bool IsClosed() const { return m_closed; }
    const QString& Path() const { return m_path; }

private:
    // Each element one line of the file.
    void WriteRaw(const QStringList& lines);

    QString m_folder;
    QString m_version;
    QString m_path;
    QFile m_file;
    bool m_closed = true;
};
