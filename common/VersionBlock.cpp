// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/VersionBlock.h"

#include <QStringList>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Reads little-endian integers only after checking the bytes are there.
class CReader {
public:
    explicit CReader(const QByteArray& bytes) : m_data(bytes.constData()), m_size(uint64_t(bytes.size())) {}

    uint64_t Size() const { return m_size; }
    bool Has(uint64_t offset, uint64_t length) const { return offset <= m_size && length <= m_size - offset; }
    bool U8(uint64_t at, uint8_t& v) const { return Get(at, 1, v); }
    bool U16(uint64_t at, uint16_t& v) const { return Get(at, 2, v); }
    bool U32(uint64_t at, uint32_t& v) const { return Get(at, 4, v); }
    bool U64(uint64_t at, uint64_t& v) const { return Get(at, 8, v); }
    const char* At(uint64_t offset) const { return m_data + offset; }

private:
    template <class T>
    bool Get(uint64_t at, unsigned length, T& v) const {
        if (!Has(at, length))
            return false;
        uint64_t r = 0;
        for (unsigned i = 0; i < length; ++i)
            r |= uint64_t(uint8_t(m_data[at + i])) << (8 * i);
        v = T(r);
        return true;
    }

    const char* m_data;
    uint64_t m_size;
};

constexpr uint64_t Align4(uint64_t v) {
    return (v + 3) & ~uint64_t(3);
}

struct SNode {
    uint64_t end = 0;  // one past the node's last byte
    QString key;
    uint64_t valueOffset = 0;
    uint64_t valueSize = 0;
    uint64_t childrenOffset = 0;
};

// Parses the node at offset, which must lie wholly inside [offset, limit).
bool ReadNode(const CReader& r, uint64_t offset, uint64_t limit, SNode& node) {
    uint16_t length = 0, valueLength = 0, type = 0;
    if (!r.U16(offset, length) || !r.U16(offset + 2, valueLength) || !r.U16(offset + 4, type))
        return false;
    if (length < 6 || offset + length > limit || offset + length > r.Size())
        return false;
    node.end = offset + length;
    node.key.clear();
    uint64_t at = offset + 6;
    for (;;) {
        uint16_t c = 0;
        if (at + 2 > node.end || !r.U16(at, c))
            return false;
        at += 2;
        if (c == 0)
            break;
        node.key.append(QChar(c));
    }
    node.valueOffset = Align4(at);
    node.valueSize = type == 1 ? uint64_t(valueLength) * 2 : valueLength;
    if (node.valueOffset > node.end) {
        // A node may end right after its key when it has neither value nor children.
        if (node.valueSize != 0)
            return false;
        node.valueOffset = node.end;
    }
    if (node.valueSize > node.end - node.valueOffset)
        return false;
    node.childrenOffset = Align4(node.valueOffset + node.valueSize);
    return true;
}

}  // namespace

bool VerQueryValue(const QByteArray& block, const QString& subBlock, QByteArray& out) {
    const CReader r(block);
    SNode node;
    if (!ReadNode(r, 0, r.Size(), node))
        return false;
    const QStringList parts = subBlock.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool found = false;
        uint64_t at = node.childrenOffset;
        const uint64_t parentEnd = node.end;
        while (at + 6 <= parentEnd) {
            SNode child;
            if (!ReadNode(r, at, parentEnd, child))
                return false;
            if (child.key.compare(part, Qt::CaseInsensitive) == 0) {
                node = child;
                found = true;
                break;
            }
            at = Align4(child.end);
        }
        if (!found)
            return false;
    }
    out = block.mid(qsizetype(node.valueOffset), qsizetype(node.valueSize));
    return true;
}

namespace {

struct SElfLayout {
    bool is64 = false;
    uint64_t shoff = 0;
    uint16_t shentsize = 0;
    uint64_t shnum = 0;
    uint32_t shstrndx = 0;
};

bool ReadSectionHeader(const CReader& r, const SElfLayout& elf, uint64_t index, uint32_t& name, uint32_t& type,
                       uint64_t& offset, uint64_t& size) {
    const uint64_t at = elf.shoff + index * elf.shentsize;
    if (!r.Has(at, elf.shentsize) || !r.U32(at, name) || !r.U32(at + 4, type))
        return false;
    if (elf.is64)
        return r.U64(at + 24, offset) && r.U64(at + 32, size);
    uint32_t o = 0, s = 0;
    if (!r.U32(at + 16, o) || !r.U32(at + 20, s))
        return false;
    offset = o;
    size = s;
    return true;
}

constexpr uint32_t kShtNobits = 8;

}  // namespace

bool FindElfSection(const QByteArray& image, const QByteArray& sectionName, QByteArray& out) {
    const CReader r(image);
    if (!r.Has(0, 16) || !image.startsWith("\x7f"
                                           "ELF"))
        return false;
    uint8_t elfClass = 0, encoding = 0;
    r.U8(4, elfClass);
    r.U8(5, encoding);
    if ((elfClass != 1 && elfClass != 2) || encoding != 1)
        return false;
    SElfLayout elf;
    elf.is64 = elfClass == 2;
    uint16_t shnum = 0, shstrndx = 0;
    if (elf.is64) {
        if (!r.U64(0x28, elf.shoff) || !r.U16(0x3A, elf.shentsize) || !r.U16(0x3C, shnum) || !r.U16(0x3E, shstrndx))
            return false;
    } else {
        uint32_t shoff = 0;
        if (!r.U32(0x20, shoff) || !r.U16(0x2E, elf.shentsize) || !r.U16(0x30, shnum) || !r.U16(0x32, shstrndx))
            return false;
        elf.shoff = shoff;
    }
    if (elf.shentsize < (elf.is64 ? 64 : 40) || elf.shoff == 0)
        return false;
    elf.shnum = shnum;
    elf.shstrndx = shstrndx;
    // Large section counts live in the first section header.
    if (elf.shnum == 0 || elf.shstrndx == 0xffff) {
        uint32_t name = 0, type = 0;
        uint64_t offset = 0, size = 0;
        if (!ReadSectionHeader(r, elf, 0, name, type, offset, size))
            return false;
        if (elf.shnum == 0)
            elf.shnum = size;
        if (elf.shstrndx == 0xffff) {
            uint32_t link = 0;
            if (!r.U32(elf.shoff + (elf.is64 ? 40 : 24), link))
                return false;
            elf.shstrndx = link;
        }
    }
    // Every header must lie inside the image; this also bounds the loop below.
    if (elf.shnum == 0 || elf.shstrndx >= elf.shnum || elf.shnum > r.Size() / elf.shentsize ||
        !r.Has(elf.shoff, elf.shnum * elf.shentsize))
        return false;

    uint32_t strName = 0, strType = 0;
    uint64_t strOffset = 0, strSize = 0;
    if (!ReadSectionHeader(r, elf, elf.shstrndx, strName, strType, strOffset, strSize) || strType == kShtNobits ||
        !r.Has(strOffset, strSize))
        return false;

    for (uint64_t i = 0; i < elf.shnum; ++i) {
        uint32_t name = 0, type = 0;
        uint64_t offset = 0, size = 0;
        if (!ReadSectionHeader(r, elf, i, name, type, offset, size))
            return false;
        if (name >= strSize)
            continue;
        const uint64_t left = strSize - name;
        const uint64_t wanted = uint64_t(sectionName.size());
        if (left <= wanted || std::memcmp(r.At(strOffset + name), sectionName.constData(), wanted) != 0 ||
            r.At(strOffset + name)[wanted] != '\0')
            continue;
        if (type == kShtNobits || !r.Has(offset, size) || size > uint64_t(std::numeric_limits<qsizetype>::max()))
            return false;
        out = image.mid(qsizetype(offset), qsizetype(size));
        return true;
    }
    return false;
}
