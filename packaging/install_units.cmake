# Runs at install time: writes the systemd service with the installed program's full path,
# which only then is known, and installs it with the timer, the sysusers.d and tmpfiles.d
# entries under <prefix>/lib (where systemd looks for them for /usr and /usr/local).
set(program "${CMAKE_INSTALL_PREFIX}/bin/importarfac")
# The path is the first word of ExecStart, in double quotes: characters that systemd reads
# there (a quote, an escape, a variable or a specifier) do not belong in an installation prefix.
if(program MATCHES "[\"$\\\\%]")
    message(FATAL_ERROR "the systemd service cannot name ${program}: its path holds a quote, $, \\ or %")
endif()
file(READ "${IMPORTARFAC_UNITS_SOURCE}/importarfac.service.in" unit)
string(REPLACE "@PROGRAM@" "${program}" unit "${unit}")
file(WRITE "${IMPORTARFAC_UNITS_STAGING}/importarfac.service" "${unit}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system" TYPE FILE
     FILES "${IMPORTARFAC_UNITS_STAGING}/importarfac.service"
           "${IMPORTARFAC_UNITS_SOURCE}/importarfac.timer")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/sysusers.d" TYPE FILE
     FILES "${IMPORTARFAC_UNITS_SOURCE}/importarfac.sysusers" RENAME importarfac.conf)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/tmpfiles.d" TYPE FILE
     FILES "${IMPORTARFAC_UNITS_SOURCE}/importarfac.tmpfiles" RENAME importarfac.conf)
