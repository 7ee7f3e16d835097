#!/bin/sh
# An interpreter that passes the environment check and then misbehaves as the worker script,
# as KOLVARA_FAKE_WORKER says: hang, stubborn (also ignores SIGTERM), segv, garbage, flood, or
# (anything else) exit 0 having written nothing.
if [ "$1" = "-V" ]; then echo "Python 3.11.2"; exit 0; fi
if [ "$1" = "-m" ] && [ "$2" = "pip" ]; then
  printf 'Package Version\nh5py 3.7.0\nmatplotlib 3.6.3\nnumpy 1.24.2\nPillow 9.4.0\ntorch 1.13.0\n'
  exit 0
fi
case "$KOLVARA_FAKE_WORKER" in
  hang) exec sleep 60 ;;
  stubborn) trap '' TERM; exec sleep 60 ;;
  segv) echo "about to crash" >&2; kill -SEGV $$ ;;
  garbage)
    head -c 65536 /dev/zero | tr '\000' '\377'
    printf 'ok\000\001\033[31m\r\b\377\376' >&2
    exit 3 ;;
  flood)
    # Several megabytes on both pipes, one after the other: a reader that drains only one at
    # a time, or only at the end, would leave this writer blocked forever.
    yes 'progress line written again and again' | head -c 8000000
    yes 'warning written again and again' | head -c 8000000 >&2
    echo 'flood: the real message' >&2
    exit 1 ;;
esac
exit 0
