# Runs at install time: writes the desktop entry with the installed program's full path, which
# only then is known (`cmake --install build --prefix DIR`), and installs it. DESTDIR, if set,
# stages the files but is not part of the path the entry names.
set(program "${CMAKE_INSTALL_PREFIX}/bin/importarfac")

# TryExec is a plain string value: only the backslash is escaped.
string(REPLACE "\\" "\\\\" tryexec "${program}")

# Exec is a command line: a path with reserved characters goes in double quotes, inside which
# " ` $ \ take a backslash; the string value then escapes each backslash once more, and a
# literal % is written %%.
set(exec "${program}")
if(exec MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
    set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")

file(READ "${IMPORTARFAC_DESKTOP_TEMPLATE}" entry)
string(REPLACE "@EXEC@" "${exec}" entry "${entry}")
string(REPLACE "@TRYEXEC@" "${tryexec}" entry "${entry}")
file(WRITE "${IMPORTARFAC_DESKTOP_STAGING}/importarfac.desktop" "${entry}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
     FILES "${IMPORTARFAC_DESKTOP_STAGING}/importarfac.desktop")
