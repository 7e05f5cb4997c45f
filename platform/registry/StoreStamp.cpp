// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/StoreStamp.h"

#include "platform/base/UniqueFd.h"

#include <QFile>

#include <atomic>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

namespace {

// Two copies of the 48-byte header, then the checkpoint information.
constexpr size_t kHeaderBytes = 48;
constexpr size_t kMappedBytes = 136;

}  // namespace

bool CStoreIndexView::Map(const QString& storePath) {
    if (m_map)
        return true;
    const CUniqueFd fd(::open((QFile::encodeName(storePath) + "-shm").constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid())
        return false;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || st.st_size < off_t(kMappedBytes))
        return false;
    // The mapping outlives the descriptor. Closing it is harmless only because the store's
    // locks are not classic POSIX locks (StoreLocks.h).
    void* map = ::mmap(nullptr, kMappedBytes, PROT_READ, MAP_SHARED, fd.Get(), 0);
    if (map == MAP_FAILED)
        return false;
    m_map = map;
    return true;
}

void CStoreIndexView::Unmap() {
    if (m_map)
        ::munmap(m_map, kMappedBytes);
    m_map = nullptr;
}

bool CStoreIndexView::Read(StoreStamp& stamp) const {
    if (!m_map)
        return false;
    uint8_t a[kHeaderBytes], b[kHeaderBytes];
    const auto* base = static_cast<const volatile uint8_t*>(m_map);
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < kHeaderBytes; ++i)
        a[i] = base[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < kHeaderBytes; ++i)
        b[i] = base[kHeaderBytes + i];
    // Two equal, initialised copies: no commit was writing the header meanwhile.
    if (std::memcmp(a, b, kHeaderBytes) != 0 || a[12] == 0)
        return false;
    std::memcpy(stamp.header, a, kHeaderBytes);
    stamp.fromHeader = true;
    stamp.valid = true;
    return true;
}
