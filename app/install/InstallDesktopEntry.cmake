# Runs at install time, when the prefix is known: writes the desktop entry
# with the installed application's absolute path and installs it.
# Expects OSTREVANE_DESKTOP_TEMPLATE, OSTREVANE_DESKTOP_ID, OSTREVANE_WINDOW_CLASS,
# OSTREVANE_APP_NAME and OSTREVANE_STAGING (a folder of the build tree).

# The Exec key's quoting: the path in double quotes with \ " ` $ escaped, then
# every backslash doubled again, as the key's string type requires.
set(exec_path "${CMAKE_INSTALL_PREFIX}/bin/${OSTREVANE_APP_NAME}")
string(REPLACE "\\" "\\\\" exec_path "${exec_path}")
foreach(special "\"" "`" "$")
  string(REPLACE "${special}" "\\${special}" exec_path "${exec_path}")
endforeach()
string(REPLACE "\\" "\\\\" exec_path "${exec_path}")
set(OSTREVANE_EXEC "\"${exec_path}\"")

set(entry "${OSTREVANE_STAGING}/${OSTREVANE_DESKTOP_ID}.desktop")
configure_file("${OSTREVANE_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE FILES "${entry}")
