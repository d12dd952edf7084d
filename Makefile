# Two entry points: `make run` and `make test`. Both first make sure the Debian packages the
# build needs are present (installing the missing ones with apt-get), then configure and build
# into build/.
BUILD      := build
JOBS       ?= 2
PACKAGES   := g++ make cmake libgtest-dev libgmock-dev libbenchmark-dev \
              qt6-base-dev qt6-qpa-plugins locales
# A decimal-comma locale, so a test can prove numbers are written without regard to the locale.
TEST_LOCALE := de_DE.UTF-8

.PHONY: setup configure build run test bench clean

setup:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' "$$p" 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:$$missing"; \
	  $$sudo apt-get update && DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y --no-install-recommends $$missing || exit 1; \
	fi; \
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

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

bench: build
	./bench/run.sh

clean:
	rm -rf $(BUILD)
