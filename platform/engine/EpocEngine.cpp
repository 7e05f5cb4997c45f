// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/EpocEngine.h"

#include "platform/engine/SimEngine.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeEngine.h"
#include "platform/registry/Registry.h"

bool MakeFileSpec(uint16_t location, const char* utf8Path, FileSpec& out) {
    if (!utf8Path)
        return false;
    const std::size_t length = std::strlen(utf8Path);
    if (length >= sizeof out.path)
        return false;
    out = FileSpec{};
    out.location = location;
    std::memcpy(out.path, utf8Path, length);
    return true;
}

std::unique_ptr<IEpocEngine> CreateEpocEngine() {
    if (UsesVolumeEngine())
        return std::make_unique<CVolumeEngine>();
    // Without a configured handheld the suite has no engine to offer.
    if (!CRegistry::Default().KeyExists(RegRoot::LocalMachine, SimulatorConfig::Key()))
        return nullptr;
    return std::make_unique<CSimEngine>();
}
