// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/ContentPrint.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

struct CContentHasher::State {
    XXH3_state_t* state = XXH3_createState();
    ~State() { XXH3_freeState(state); }
};

CContentHasher::CContentHasher() : m_state(std::make_unique<State>()) {
    XXH3_128bits_reset(m_state->state);
}

CContentHasher::~CContentHasher() = default;

void CContentHasher::Update(const void* data, std::size_t size) {
    XXH3_128bits_update(m_state->state, data, size);
}

CContentPrint CContentHasher::Digest() const {
    const XXH128_hash_t hash = XXH3_128bits_digest(m_state->state);
    return {hash.high64, hash.low64, true};
}

std::span<char> ThreadIoBuffer() {
    constexpr std::size_t kSize = std::size_t(1) << 20;
    thread_local const std::unique_ptr<char[]> buffer(new char[kSize]);
    return {buffer.get(), kSize};
}

QString CContentPrint::ToText() const {
    if (!valid)
        return {};
    return QStringLiteral("%1%2").arg(high, 16, 16, QLatin1Char('0')).arg(low, 16, 16, QLatin1Char('0'));
}

int FingerprintOpenFile(int fd, const struct stat& opened, CFileFacts& facts) {
    CContentHasher hasher;
    const std::span<char> buffer = ThreadIoBuffer();
    uint64_t total = 0;
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            break;
        hasher.Update(buffer.data(), std::size_t(got));
        at += got;
        total += uint64_t(got);
    }
    // Bytes read while the file was written are a mix that no side ever held.
    struct stat now {};
    if (::fstat(fd, &now) != 0 || now.st_size != opened.st_size || now.st_mtim.tv_sec != opened.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec || now.st_ctim.tv_sec != opened.st_ctim.tv_sec ||
        now.st_ctim.tv_nsec != opened.st_ctim.tv_nsec || total != uint64_t(opened.st_size))
        return ESTALE;
    facts.size = total;
    facts.print = hasher.Digest();
    return 0;
}
