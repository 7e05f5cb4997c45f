// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// A help file: UTF-8 text holding topics keyed by context number.
//
//   # a comment line (only before the first topic)
//   @topic 0x20080 Title of the topic
//   <p>Body in HTML; links to other topics are written <a href="topic:0x10">like this</a>.</p>
//
// A topic runs until the next "@topic" line. Context numbers are decimal or 0x-hexadecimal.
// The order of the topics is the order of the contents list.
struct CHelpTopic {
    uint32_t Context = 0;
    QString Title;
    QString Body;
};

struct CHelpLoadResult {
    bool Ok = false;
    QString Message;
    explicit operator bool() const { return Ok; }
};

class CHelpFile {
public:
    // Fails when the file cannot be read, holds no topic or repeats a context number.
    CHelpLoadResult Load(const QString& path);
    CHelpLoadResult Parse(const QByteArray& text);

    const std::vector<CHelpTopic>& Topics() const { return m_topics; }
    // The topic of a context, or nothing.
    const CHelpTopic* Find(uint32_t context) const;

    // Parses "16", "0x20080"; nothing when the text is not a number of 32 bits.
    static std::optional<uint32_t> ParseContext(const QString& text);

private:
    std::vector<CHelpTopic> m_topics;
};
