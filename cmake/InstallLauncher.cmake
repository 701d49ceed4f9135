# Runs at install time: writes the launcher with Exec naming the monitor under
# the prefix installed to, and installs it into share/applications.
# In: ZEPH_DESKTOP_TEMPLATE, ZEPH_DESKTOP_WORK (a scratch folder),
# ZEPH_INSTALL_FOLDER (the program folder under the prefix).
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(exec "${prefix}/${ZEPH_INSTALL_FOLDER}/ZephMonitor")

# The desktop entry rules: '%' doubled, since it starts a field code; a path
# with a reserved character in double quotes, with '"', '`', '$' and '\'
# escaped by a backslash; then the value's own escape, each backslash doubled.
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" ZEPH_DESKTOP_EXEC "${exec}")

configure_file("${ZEPH_DESKTOP_TEMPLATE}" "${ZEPH_DESKTOP_WORK}/zephmonitor.desktop" @ONLY)
file(INSTALL "${ZEPH_DESKTOP_WORK}/zephmonitor.desktop"
     DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")
