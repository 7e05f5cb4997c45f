# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DBIN_DIR=... -DMEDIUM_DIR=... -DSETUP=DTSetup -DFILES=a;b;c -P LayOutMedium.cmake
# Copies what has been built; the medium target depends on every file it lays out.
file(MAKE_DIRECTORY ${MEDIUM_DIR}/ENG)
file(COPY ${BIN_DIR}/${SETUP} DESTINATION ${MEDIUM_DIR})
foreach(name ${FILES})
  file(COPY ${BIN_DIR}/${name} DESTINATION ${MEDIUM_DIR}/ENG)
endforeach()
foreach(language FRA DEU ESP)
  file(MAKE_DIRECTORY ${MEDIUM_DIR}/${language})
  file(WRITE ${MEDIUM_DIR}/${language}/README.txt "<<TODO ${language}>>\n")
endforeach()
