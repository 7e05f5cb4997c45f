// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Builds, at compile time, a version block laid out as a VS_VERSIONINFO tree: each node is
// length, value length, type, a UTF-16LE key with its NUL, padding to 4 bytes, the value,
// padding, then the child nodes. The generated source of every program embeds one of these.
namespace dtver {

inline constexpr uint32_t kFixedSignature = 0xFEEF04BD;
inline constexpr uint32_t kFileTypeApp = 1;
inline constexpr uint32_t kFileTypeDll = 2;

struct Strings {
    std::u16string_view companyName;
    std::u16string_view fileDescription;
    std::u16string_view fileVersion;
    std::u16string_view legalCopyright;
    std::u16string_view productName;
    std::u16string_view productVersion;
};

struct Fixed {
    uint32_t fileVersionMs = 0;
    uint32_t fileVersionLs = 0;
    uint32_t productVersionMs = 0;
    uint32_t productVersionLs = 0;
    uint32_t fileType = kFileTypeApp;
};

struct CountSink {
    std::size_t pos = 0;
    constexpr void Put(uint8_t) { ++pos; }
    constexpr void Patch16(std::size_t, uint16_t) {}
};

template <std::size_t N>
struct ArraySink {
    std::array<uint8_t, N> data{};
    std::size_t pos = 0;
    constexpr void Put(uint8_t b) { data[pos++] = b; }
    constexpr void Patch16(std::size_t at, uint16_t v) {
        data[at] = uint8_t(v & 0xff);
        data[at + 1] = uint8_t(v >> 8);
    }
};

template <class Sink>
constexpr void Put16(Sink& s, uint16_t v) {
    s.Put(uint8_t(v & 0xff));
    s.Put(uint8_t(v >> 8));
}

template <class Sink>
constexpr void Put32(Sink& s, uint32_t v) {
    Put16(s, uint16_t(v & 0xffff));
    Put16(s, uint16_t(v >> 16));
}

template <class Sink>
constexpr void Align4(Sink& s) {
    while (s.pos % 4)
        s.Put(0);
}

template <class Sink>
constexpr void PutText(Sink& s, std::u16string_view text) {
    for (char16_t c : text)
        Put16(s, uint16_t(c));
    Put16(s, 0);
}

// Opens a node and returns its start; CloseNode patches the length once the children are in.
template <class Sink>
constexpr std::size_t OpenNode(Sink& s, std::u16string_view key, uint16_t valueLength, uint16_t type) {
    Align4(s);
    const std::size_t start = s.pos;
    Put16(s, 0);
    Put16(s, valueLength);
    Put16(s, type);
    PutText(s, key);
    Align4(s);
    return start;
}

template <class Sink>
constexpr void CloseNode(Sink& s, std::size_t start) {
    s.Patch16(start, uint16_t(s.pos - start));
}

template <class Sink>
constexpr void PutString(Sink& s, std::u16string_view key, std::u16string_view value) {
    const std::size_t start = OpenNode(s, key, uint16_t(value.size() + 1), 1);
    PutText(s, value);
    CloseNode(s, start);
}

template <class Sink>
constexpr void Emit(Sink& s, const Strings& str, const Fixed& fixed) {
    const std::size_t root = OpenNode(s, u"VS_VERSION_INFO", 52, 0);
    Put32(s, kFixedSignature);
    Put32(s, 0x00010000);  // structure version
    Put32(s, fixed.fileVersionMs);
    Put32(s, fixed.fileVersionLs);
    Put32(s, fixed.productVersionMs);
    Put32(s, fixed.productVersionLs);
    Put32(s, 0x3f);     // flags mask
    Put32(s, 0);        // flags
    Put32(s, 0x40004);  // 32-bit NT family
    Put32(s, fixed.fileType);
    Put32(s, 0);  // subtype
    Put32(s, 0);  // date, high
    Put32(s, 0);  // date, low

    const std::size_t sfi = OpenNode(s, u"StringFileInfo", 0, 1);
    const std::size_t table = OpenNode(s, u"040904e4", 0, 1);
    PutString(s, u"CompanyName", str.companyName);
    PutString(s, u"FileDescription", str.fileDescription);
    PutString(s, u"FileVersion", str.fileVersion);
    PutString(s, u"LegalCopyright", str.legalCopyright);
    PutString(s, u"ProductName", str.productName);
    PutString(s, u"ProductVersion", str.productVersion);
    CloseNode(s, table);
    CloseNode(s, sfi);

    const std::size_t vfi = OpenNode(s, u"VarFileInfo", 0, 1);
    const std::size_t var = OpenNode(s, u"Translation", 4, 0);
    Put16(s, 0x0409);  // US English
    Put16(s, 1252);    // Western code page
    CloseNode(s, var);
    CloseNode(s, vfi);
    CloseNode(s, root);
}

constexpr std::size_t BlockSize(const Strings& str, const Fixed& fixed) {
    CountSink s;
    Emit(s, str, fixed);
    return s.pos;
}

template <std::size_t N>
constexpr std::array<uint8_t, N> BuildBlock(const Strings& str, const Fixed& fixed) {
    ArraySink<N> s;
    Emit(s, str, fixed);
    return s.data;
}

}  // namespace dtver
