#!/bin/sh
# A package list naming Pillow in lower case, which does not count.
if [ "$1" = "-V" ]; then echo "Python 3.11.2"; exit 0; fi
printf 'h5py 3.7.0\nmatplotlib 3.6.3\nnumpy 1.24.2\npillow 9.4.0\ntorch 1.13.0\n'
