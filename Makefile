# The two commands of the README: `make run` and `make test`.
BUILD     ?= build
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

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD)
