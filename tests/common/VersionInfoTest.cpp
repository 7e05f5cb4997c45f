// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/VersionInfo.h"

#include "common/ProgramPath.h"
#include "common/VersionBlock.h"

#include "tests/support/TempEnv.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

QByteArray ReadOwnFile() {
    QString path;
    EXPECT_TRUE(GetProgramPath(path));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

QByteArray OwnBlock() {
    QByteArray block;
    EXPECT_TRUE(FindElfSection(ReadOwnFile(), kVersionSectionName, block));
    return block;
}

template <class T>
void Put(QByteArray& image, qsizetype at, T value) {
    if (image.size() < at + qsizetype(sizeof value))
        image.resize(at + qsizetype(sizeof value), '\0');
    std::memcpy(image.data() + at, &value, sizeof value);
}

// A minimal little-endian ELF64 file: the null section, the given sections, then the names.
QByteArray BuildElf(const std::vector<std::pair<QByteArray, QByteArray>>& sections) {
    QByteArray image(64, '\0');
    std::memcpy(image.data(),
                "\x7f"
                "ELF\x02\x01\x01",
                7);
    QByteArray names(1, '\0');
    struct Header {
        uint32_t name;
        uint64_t offset, size;
    };
    std::vector<Header> headers{{0, 0, 0}};
    for (const auto& [name, data] : sections) {
        headers.push_back({uint32_t(names.size()), uint64_t(image.size()), uint64_t(data.size())});
        names += name + '\0';
        image += data;
        while (image.size() % 8)
            image += '\0';
    }
    headers.push_back({uint32_t(names.size()), uint64_t(image.size()), 0});
    names += QByteArray(".shstrtab") + '\0';
    headers.back().size = uint64_t(names.size());
    image += names;
    while (image.size() % 8)
        image += '\0';
    const qsizetype shoff = image.size();
    for (const Header& h : headers) {
        QByteArray sh(64, '\0');
        Put<uint32_t>(sh, 0, h.name);
        Put<uint32_t>(sh, 4, h.offset ? 1 : 0);
        Put<uint64_t>(sh, 24, h.offset);
        Put<uint64_t>(sh, 32, h.size);
        image += sh;
    }
    Put<uint64_t>(image, 0x28, uint64_t(shoff));
    Put<uint16_t>(image, 0x3A, 64);
    Put<uint16_t>(image, 0x3C, uint16_t(headers.size()));
    Put<uint16_t>(image, 0x3E, uint16_t(headers.size() - 1));
    return image;
}

TEST(VersionInfoTest, ReadsTheBlockEmbeddedInThisProgram) {
    QString path;
    ASSERT_TRUE(GetProgramPath(path));
    CVersionInfo info;
    ASSERT_TRUE(info.Open(path));
    EXPECT_EQ(info.Translation(), 0x040904e4u);
    EXPECT_EQ(info.GetString(QStringLiteral("ProductVersion")), QStringLiteral("1.0 (039)"));
    EXPECT_EQ(info.GetString(QStringLiteral("FileVersion")), QStringLiteral("2.3.4.5"));
    EXPECT_EQ(info.GetString(QStringLiteral("FileDescription")), QStringLiteral("Version \"reader\" test"));
    EXPECT_EQ(info.GetString(QStringLiteral("ProductName")), QStringLiteral("Dovetail"));
    EXPECT_FALSE(info.GetString(QStringLiteral("CompanyName")).isEmpty());
    EXPECT_FALSE(info.GetString(QStringLiteral("LegalCopyright")).isEmpty());
    EXPECT_EQ(info.GetString(QStringLiteral("productversion"), 0x040904e4u), QStringLiteral("1.0 (039)"));
    EXPECT_TRUE(info.GetString(QStringLiteral("Comments")).isEmpty());
    EXPECT_TRUE(info.GetString(QStringLiteral("ProductVersion"), 0x040704b0u).isEmpty());

    info.Release();
    EXPECT_EQ(info.Translation(), 0u);
    EXPECT_TRUE(info.GetString(QStringLiteral("ProductVersion")).isEmpty());
}

TEST(VersionInfoTest, RootValueIsTheFixedFileInfo) {
    QByteArray fixed;
    ASSERT_TRUE(VerQueryValue(OwnBlock(), QStringLiteral("\\"), fixed));
    ASSERT_EQ(fixed.size(), 52);
    // Read from a copy: with the sanitizers GCC takes the empty array's shared byte for a
    // possible source and fails the build on its bounds.
    const std::string bytes = fixed.toStdString();
    uint32_t signature = 0, fileMs = 0, fileLs = 0;
    std::memcpy(&signature, bytes.data(), 4);
    std::memcpy(&fileMs, bytes.data() + 8, 4);
    std::memcpy(&fileLs, bytes.data() + 12, 4);
    EXPECT_EQ(signature, 0xFEEF04BDu);
    EXPECT_EQ(fileMs, 0x00020003u);
    EXPECT_EQ(fileLs, 0x00040005u);
}

TEST(VersionInfoTest, FilesWithoutAUsableBlockFailCleanly) {
    CTempEnv env;
    const QByteArray own = ReadOwnFile();
    const QByteArray block = OwnBlock();
    QByteArray noTranslation = block;
    const qsizetype at = noTranslation.indexOf(QByteArray("T\0r\0a\0n\0s", 10));
    ASSERT_GT(at, 0);
    noTranslation[at] = 'X';

    const std::vector<std::pair<const char*, QByteArray>> rows = {
        {"empty", {}},
        {"text", "not a program at all"},
        {"ELF magic only", QByteArray("\x7f"
                                      "ELF\x02\x01\x01",
                                      7)},
        {"cut before the section headers", own.left(own.size() / 2)},
        {"cut by one byte", own.left(own.size() - 1)},
        {"no version section", BuildElf({{".text", "code"}})},
        {"section without a translation", BuildElf({{".dtversion", noTranslation}})},
        {"garbage block", BuildElf({{".dtversion", QByteArray(64, '\xff')}})},
        {"half a block", BuildElf({{".dtversion", block.left(block.size() / 2)}})},
    };
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        CVersionInfo info;
        const QString path = env.WriteFile(QString::fromLatin1(what), bytes);
        EXPECT_FALSE(info.Open(path));
        EXPECT_TRUE(info.GetString(QStringLiteral("ProductVersion")).isEmpty());
    }
    CVersionInfo info;
    EXPECT_FALSE(info.Open(env.Root() + QStringLiteral("/missing")));

    // The builder itself is sound: the same block in a hand-made file reads.
    EXPECT_TRUE(info.Open(env.WriteFile(QStringLiteral("good"), BuildElf({{".dtversion", block}}))));
    EXPECT_EQ(info.GetString(QStringLiteral("ProductVersion")), QStringLiteral("1.0 (039)"));
}

TEST(VersionInfoTest, HostileSectionHeadersAreRejected) {
    const QByteArray good = BuildElf({{".dtversion", OwnBlock()}});
    QByteArray out;
    ASSERT_TRUE(FindElfSection(good, kVersionSectionName, out));
    const qsizetype shoff = qsizetype(*reinterpret_cast<const uint64_t*>(good.constData() + 0x28));
    const qsizetype versionHeader = shoff + 64;

    struct Row {
        const char* what;
        qsizetype at;
        uint64_t value;
        int width;
    };
    const Row rows[] = {
        {"section headers past the end", 0x28, uint64_t(good.size()), 8},
        {"section header offset wraps", 0x28, ~uint64_t(0) - 8, 8},
        {"header entries too small", 0x3A, 16, 2},
        {"huge section count", 0x3C, 0xfffe, 2},
        {"name table index out of range", 0x3E, 40, 2},
        {"section data past the end", versionHeader + 24, uint64_t(good.size()) - 4, 8},
        {"section size wraps", versionHeader + 32, ~uint64_t(0), 8},
        {"name offset past the name table", versionHeader, 0xffffff, 4},
        {"extended count without a first header", 0x3C, 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QByteArray bad = good;
        if (row.width == 8)
            Put<uint64_t>(bad, row.at, row.value);
        else if (row.width == 4)
            Put<uint32_t>(bad, row.at, uint32_t(row.value));
        else
            Put<uint16_t>(bad, row.at, uint16_t(row.value));
        EXPECT_FALSE(FindElfSection(bad, kVersionSectionName, out));
    }
}

TEST(VersionInfoTest, DamagedBlocksNeverReadOutOfBounds) {
    const QByteArray block = OwnBlock();
    const QString key = QStringLiteral("\\StringFileInfo\\040904e4\\ProductVersion");
    QByteArray out;
    ASSERT_TRUE(VerQueryValue(block, key, out));

    // Every prefix, and every node field set to extreme values, must fail or answer from
    // inside the bytes it was given (the sanitizer build checks the reads).
    for (qsizetype n = 0; n < block.size(); ++n) {
        const QByteArray cut = block.left(n);
        if (VerQueryValue(cut, key, out)) {
            EXPECT_LE(out.size(), n);
        }
    }
    for (qsizetype at = 0; at + 2 <= block.size(); at += 2) {
        for (uint16_t value : {uint16_t(0), uint16_t(1), uint16_t(6), uint16_t(0x7fff), uint16_t(0xffff)}) {
            QByteArray bad = block;
            Put<uint16_t>(bad, at, value);
            VerQueryValue(bad, key, out);
            VerQueryValue(bad, QStringLiteral("\\VarFileInfo\\Translation"), out);
        }
    }
}

}  // namespace
