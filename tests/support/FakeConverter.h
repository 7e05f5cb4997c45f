// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/converter/ConverterInterface.h"

#include <QFile>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// The one converter double of the tests: items with the formats given, whose conversions
// prefix the content with "converted:", and a record of every call. Shared between the
// test and the objects it hands out, so the test sees what the code under test did.
struct CFakeConverterState {
    struct Item {
        QString source;  // "display name\nclass", as SourceFormat() gives it
        QString target;
        bool throws = false;
        QString error = QStringLiteral("bad input");  // the exception's text when it throws
        QString extension = {};
    };
    std::vector<Item> items;
    bool loadThrows = false;
    int created = 0;
    QStringList loads;        // "control|source"
    QStringList conversions;  // "source -> destination"
};

class CFakeConverterItem : public IConverterItem {
public:
    CFakeConverterItem(std::shared_ptr<CFakeConverterState> state, CFakeConverterState::Item item)
        : m_state(std::move(state)), m_item(std::move(item)) {}
    QString SourceFormat() override { return m_item.source; }
    QString TargetFormat() override { return m_item.target; }
    QString TargetExtension() override { return m_item.extension; }
    void Convert(const QString& source, const QString& destination, ConvertCallback callback) override {
        m_state->conversions << source + QStringLiteral(" -> ") + destination;
        if (m_item.throws)
            throw CAutomationException(m_item.error);
        int32_t flag = 0;
        callback(0, &flag);
        QFile in(source);
        QFile out(destination);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw CAutomationException(QStringLiteral("cannot open"));
        out.write("converted:" + in.readAll());
    }

private:
    std::shared_ptr<CFakeConverterState> m_state;
    CFakeConverterState::Item m_item;
};

class CFakeConverterRoot : public IConverterInterface {
public:
    explicit CFakeConverterRoot(std::shared_ptr<CFakeConverterState> state) : m_state(std::move(state)) {}
    std::unique_ptr<IConverterItem> Item(int16_t index) override {
        if (index < 0 || index >= static_cast<int>(m_state->items.size()))
            throw CAutomationException(QStringLiteral("no such item"));
        return std::make_unique<CFakeConverterItem>(m_state, m_state->items[index]);
    }
    int16_t Count() override { return static_cast<int16_t>(m_state->items.size()); }
    void UseControlFile(const QString&) override {}
    void Load(const QString& control, const QString& source) override {
        m_state->loads << control + QLatin1Char('|') + source;
        if (m_state->loadThrows)
            throw CAutomationException(QStringLiteral("no control file"));
    }

private:
    std::shared_ptr<CFakeConverterState> m_state;
};

// A factory as the code under test takes one: the root object for the converter ProgID.
inline std::function<std::unique_ptr<IConverterInterface>(const QString&)> MakeFakeConverters(
    const std::shared_ptr<CFakeConverterState>& state) {
    return [state](const QString& progId) -> std::unique_ptr<IConverterInterface> {
        if (progId != QStringLiteral("VEROZ.CONVERTERINTERFACE"))
            return nullptr;
        ++state->created;
        return std::make_unique<CFakeConverterRoot>(state);
    };
}
