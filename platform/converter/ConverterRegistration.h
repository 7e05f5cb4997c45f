// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// Names under which the built-in converters and the simulator's file types are registered.
inline constexpr char kTextDocumentName[] = "Text Document";  // PC-side display name
inline constexpr char kTextDocumentClass[] = "txtfile";       // PC-side class identifier
inline constexpr char kTextExtension[] = ".txt";
inline constexpr char kEpocTextName[] = "EPOC Text";  // EPOC class text and EPOC-side display name
inline constexpr char kEpocTextClass[] = "EPOC.Text";
inline constexpr char kControlFileName[] = "Convert.ini";

// Installs the suite's converters: writes the control file with the built-in converters
// into suiteDir and registers everything the binding flows look up: "Control File", the
// EPOC class text of the EPOC text UIDs with its "TargetType", the ".txt" class and its
// type name, and the "DefaultExtension" of the text class. The registry changes land
// together or not at all. False, with a reason in *error, when something could not be written.
bool InstallConverterRegistration(const QString& suiteDir, QString* error);

// "EPOC\{%X,%X,%X}" for three EPOC type identifiers (upper-case hex, no leading zeros).
QString EpocClassKey(uint32_t uid1, uint32_t uid2, uint32_t uid3);
