# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DBIN_DIR=... -DMEDIUM_DIR=... -DSETUP=DTSetup -DFILES=a;b;c -P LayOutMedium.cmake
# Copies what has been built; a file that does not exist yet is left out, and the installer
# then reports it (or, for the scheduler, goes on without it).
file(MAKE_DIRECTORY ${MEDIUM_DIR}/ENG)
file(COPY ${BIN_DIR}/${SETUP} DESTINATION ${MEDIUM_DIR})
foreach(name ${FILES})
  if(EXISTS ${BIN_DIR}/${name})
    file(COPY ${BIN_DIR}/${name} DESTINATION ${MEDIUM_DIR}/ENG)
  else()
    file(REMOVE ${MEDIUM_DIR}/ENG/${name})
    message(STATUS "medium: ${name} not built, left out")
  endif()
endforeach()
foreach(language FRA DEU ESP)
  file(MAKE_DIRECTORY ${MEDIUM_DIR}/${language})
  file(WRITE ${MEDIUM_DIR}/${language}/README.txt "<<TODO ${language}>>\n")
endforeach()
