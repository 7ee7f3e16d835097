# The two commands of the README: `make run` and `make test`.
BUILD     ?= build
ASAN_BUILD ?= build-asan
BUILDTYPE ?= RelWithDebInfo
PREFIX    ?= /usr/local
JOBS      ?= $(shell nproc)

# Let ccache share objects between checkouts that sit side by side.
export CCACHE_BASEDIR := $(abspath ..)

.PHONY: setup configure build run test install clean

setup:
	@scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILDTYPE) -DCMAKE_INSTALL_PREFIX=$(PREFIX) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/kolvara

# Every test in the normal build, then the C++ tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer in a second build folder.
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKOLVARA_SANITIZE=ON > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -L cpp --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
