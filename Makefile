# Two entry points: `make run` and `make test`. Both first make sure the Debian packages the
# build needs are present (installing the missing ones with apt-get), then configure and build
# into build/.
BUILD      := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz
JOBS       ?= 2
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 30
FUZZ_TARGETS := log_reader settings_file numbers conversion
FUZZ_PACKAGES := clang libclang-rt-14-dev
WINDOWS_BUILD := build-windows
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64 googletest xvfb xauth nsis
BENCH_PACKAGES := hyperfine time
PACKAGES   := g++ make cmake libgtest-dev libgmock-dev libbenchmark-dev \
              qt6-base-dev qt6-qpa-plugins
# What only the tests need: a locale, a real X server with a window manager and input tools
# for the real-window suite, and clang's libFuzzer for the fuzz smoke run.
TEST_PACKAGES := locales xvfb xauth xdotool openbox x11-utils imagemagick $(FUZZ_PACKAGES)
# A decimal-comma locale, so a test can prove numbers are written without regard to the locale.
TEST_LOCALE := de_DE.UTF-8

.PHONY: setup setup-test configure build run test build-windows test-windows package \
        package-windows bench fuzz fuzz-run clean

# Installs the missing packages (of PACKAGES and EXTRA_PACKAGES); needs root or sudo only when
# something is missing.
setup:
	@missing=""; \
	for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' "$$p" 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:$$missing"; \
	  $$sudo apt-get update && DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y --no-install-recommends $$missing || exit 1; \
	fi

setup-test:
	@$(MAKE) --no-print-directory setup EXTRA_PACKAGES="$(TEST_PACKAGES)"
	@sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$$'; then \
	  echo "Generating the $(TEST_LOCALE) locale"; \
	  $$sudo localedef -i de_DE -f UTF-8 $(TEST_LOCALE) || exit 1; \
	fi

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/quorvel

# The whole suite twice: as built, and built with AddressSanitizer and UBSan; then each fuzz
# target for a short while, so that none of them rots.
test: setup-test build
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)
	@$(MAKE) --no-print-directory fuzz-run FUZZ_SECONDS=$(FUZZ_SMOKE_SECONDS)

# The Debian package build/quorvel_<version>_<arch>.deb (dpkg-shlibdeps finds its dependencies).
package: build
	@$(MAKE) --no-print-directory setup EXTRA_PACKAGES="dpkg-dev"
	cd $(BUILD) && cpack

# The core, the Win32 window program quorvel.exe and quorvel-convert cross-compiled for
# Windows with mingw-w64; the tests run in Wine, the window's on an Xvfb display.
# A Wine prefix of the build's own, so no earlier Wine set-up on the machine plays a part, and
# a UTF-8 locale, without which Wine cannot map non-ASCII file names to the file system.
test-windows: build-windows
	cd $(WINDOWS_BUILD) && LC_ALL=C.UTF-8 WINEPREFIX=$(abspath $(WINDOWS_BUILD))/wine WINEDEBUG=-all \
	  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j$(JOBS)

build-windows:
	@$(MAKE) --no-print-directory setup EXTRA_PACKAGES="$(WINDOWS_PACKAGES)"
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@WINEPREFIX=$(abspath $(WINDOWS_BUILD))/wine WINEDEBUG=-all cmake --build $(WINDOWS_BUILD) -j$(JOBS)

# The Windows downloads: build-windows/quorvel-<version>-windows.zip (portable: unzip and run)
# and build-windows/quorvel-<version>-setup.exe (the installer).
package-windows: build-windows
	@ls -l $(WINDOWS_BUILD)/quorvel-*-windows.zip $(WINDOWS_BUILD)/quorvel-*-setup.exe

# Each libFuzzer target for FUZZ_SECONDS, from its seed corpus in fuzz/corpus (new inputs go
# to build-fuzz/corpus, findings to build-fuzz/).
fuzz:
	@$(MAKE) --no-print-directory setup EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	@$(MAKE) --no-print-directory fuzz-run

fuzz-run:
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j$(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	  ./$(FUZZ_BUILD)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t \
	    > $(FUZZ_BUILD)/fuzz_$$t.log 2>&1; status=$$?; \
	  grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Test unit' $(FUZZ_BUILD)/fuzz_$$t.log; \
	  [ $$status -eq 0 ] || exit 1; \
	done

bench: build
	@$(MAKE) --no-print-directory setup EXTRA_PACKAGES="$(BENCH_PACKAGES)"
	./bench/run.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD)
