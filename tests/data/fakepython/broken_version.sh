#!/bin/sh
# An interpreter that complains on -V, as a half-installed one does.
if [ "$1" = "-V" ]; then
  echo "error while loading shared libraries: libpython3.so" >&2
  exit 127
fi
exit 1
