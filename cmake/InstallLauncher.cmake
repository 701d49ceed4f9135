# Runs at install time: writes the desktop launcher with Exec naming
# bin/zephmonitor (which gives each user a program folder of their own where
# needed) under the prefix installed to, and installs it into
# share/applications.
# In: ZEPH_DESKTOP_TEMPLATE, ZEPH_DESKTOP_WORK (a scratch folder).
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(exec "${prefix}/bin/zephmonitor")

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
