# Finds what the Python module needs: the interpreter with its headers, and
# pybind11. The module is built for Debian's own interpreter, where the
# distribution's packages (pytest, sqlparse) live, rather than for whichever
# python3 comes first on the PATH; -DPython3_EXECUTABLE=... chooses another.
macro(kxsql_find_python mode)
  if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
    set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python interpreter the module is built for")
  endif()
  find_package(Python3 COMPONENTS Interpreter Development.Module ${mode})
  # Found after Python3, pybind11 builds for that same interpreter.
  find_package(pybind11 CONFIG ${mode})
endmacro()
