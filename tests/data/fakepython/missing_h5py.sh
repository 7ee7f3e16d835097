#!/bin/sh
# An interpreter whose package list lacks h5py.
if [ "$1" = "-V" ]; then
  echo "Python 3.11.2"
  exit 0
fi
if [ "$1" = "-m" ] && [ "$2" = "pip" ]; then
  printf 'Package    Version\n---------- -------\nmatplotlib 3.6.3\nnumpy      1.24.2\nPillow     9.4.0\ntorch      1.13.0\n'
  exit 0
fi
exit 1
