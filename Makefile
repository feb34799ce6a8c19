# The two commands a new user needs: `make run` and `make test`.
BUILD   ?= build
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# `make test` builds with TARBEL_WERROR: a compiler warning fails the run.
WERROR  ?=

.PHONY: all build run run-browser test soak deps deps-test configure clean install uninstall package

PREFIX  ?= /usr/local

all: build

deps:
	@sh tools/install-deps.sh run

deps-test:
	@sh tools/install-deps.sh test

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(WERROR),-DTARBEL_WERROR=$(WERROR)) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: deps build
	./$(BUILD)/bin/tarbel

run-browser: deps build
	./$(BUILD)/bin/vennik

# The sanitized suites (build/sanitize) are built before the tests run, so
# that ctest's sanitized_build entry finds them up to date.
test: WERROR = ON
test: deps-test build
	@test ! -f $(BUILD)/tests/sanitized-build.cmake || TARBEL_JOBS=$(JOBS) cmake -P $(BUILD)/tests/sanitized-build.cmake
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The random-session testers for SOAK_SECONDS each (600 unless set), from
# SOAK_SEED or a random seed, built with AddressSanitizer and UBSan in a
# build folder of their own; then their short real-X variant. The last line
# reads "soak: N sessions, M actions, V violations".
SOAK_BUILD ?= build-soak
SOAK_TARGETS = tarbel_sessions vennik_sessions xtarbel_sessions xvennik_sessions tarbel vennik
soak: deps-test
	@cmake -S . -B $(SOAK_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARBEL_SANITIZE=ON -DTARBEL_SANITIZE_BROWSER=ON \
	  $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SOAK_BUILD) -j $(JOBS) --target $(SOAK_TARGETS)
	@sh tests/sessions/soak.sh $(SOAK_BUILD) $(CURDIR)

install: deps build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Removes every file `make install` put there, then the folders of the
# programs' own (libexec/vennik, share/doc/tarbel, ...) once they are empty;
# shared folders such as bin/ stay.
uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "nothing installed from $(BUILD)"; exit 1; }
	xargs -d '\n' rm -fv < $(BUILD)/install_manifest.txt
	@sed -n 's|/[^/]*$$||p' $(BUILD)/install_manifest.txt | sort -u | grep -E '/(tarbel|vennik)$$' \
	  | xargs -r -d '\n' rmdir -v --ignore-fail-on-non-empty

package: deps build
	cd $(BUILD) && cpack -G DEB -B package
	@ls $(BUILD)/package/*.deb

clean:
	rm -rf $(BUILD)
