# The two commands: `make run` and `make test`. Both install what they need first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
                UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
                LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

.PHONY: all setup build build-asan run test test-normal test-asan install uninstall clean

all: build

setup:
	@tools/setup.sh

build: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARNEK_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Starts with the sample WAVE bell loaded unless RUN_ARGS names another file.
RUN_ARGS ?= "$(abspath $(BUILD))/samples/electric-bell.wav"

run: build
	$(BUILD)/tarnek $(RUN_ARGS)

test: test-normal test-asan

test-normal: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: build-asan
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# For the current user, without root: the program directory in $(PREFIX)/lib/tarnek, the command
# $(PREFIX)/bin/tarnek, the menu entry and the icon.
PREFIX ?= $(HOME)/.local

install: build
	cmake --install $(BUILD) --prefix "$(PREFIX)"

# Everything installed, but the settings (tarnek.ini) and the user's own door announcements.
uninstall: build
	tools/uninstall.sh $(BUILD) "$(PREFIX)"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
