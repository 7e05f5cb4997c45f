// SPDX-License-Identifier: GPL-3.0-or-later
// The library's entry points; everything else in it stays hidden.
#include "platform/chooser/EpocFileDll.h"

extern "C" {

Q_DECL_EXPORT CFileDll* DtCreateFileDll() {
    return new CEpocFileDll;
}

Q_DECL_EXPORT void DtDestroyFileDll(CFileDll* chooser) {
    delete chooser;
}

Q_DECL_EXPORT int DtFileDllInterfaceVersion() {
    return kFileDllInterfaceVersion;
}
}
