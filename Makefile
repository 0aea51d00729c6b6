# SPDX-License-Identifier: GPL-3.0-or-later
# Rasterblatt: `make run` builds the program and starts it, `make test` builds and runs the
# tests, `make deb` builds the Debian package.
BUILD_DIR  ?= build
BUILD_TYPE ?= Release
WERROR     ?= OFF
DEB_DIR    ?= build-deb
# `make install PREFIX=/usr DESTDIR=...`; without PREFIX, the one the build was configured with.
PREFIX     ?=

CONFIGURE = cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DRASTERBLATT_WERROR=$(WERROR)

.PHONY: all deps configure build run test bench install deb clean sanitize fuzz

all: build

deps:
	@scripts/install-deps

configure:
	$(CONFIGURE)

# The program alone: the tests are built by `make test` only.
build: deps
	$(CONFIGURE)
	cmake --build $(BUILD_DIR) --target Rasterblatt

run: build
	./$(BUILD_DIR)/Rasterblatt

test: deps
	$(CONFIGURE) -DBUILD_TESTING=ON
	cmake --build $(BUILD_DIR)
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer, leaks included.
SANITIZE_DIR ?= build-sanitize
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTERBLATT_SANITIZE=ON -DBUILD_TESTING=ON -DRASTERBLATT_WERROR=$(WERROR)
	cmake --build $(SANITIZE_DIR)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure

# The picture loader under libFuzzer (clang) for FUZZ_SECONDS, from a generated seed corpus.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps fuzz
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DRASTERBLATT_FUZZ=ON
	cmake --build $(FUZZ_DIR) --target fuzz_loader fuzz_seeds
	mkdir -p $(FUZZ_DIR)/corpus
	$(FUZZ_DIR)/fuzz/fuzz_loader -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	  $(FUZZ_DIR)/corpus $(FUZZ_DIR)/fuzz/seeds

bench: deps
	$(CONFIGURE)
	cmake --build $(BUILD_DIR) --target benchmarks
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -f "$$b" ] && [ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; done

# No dependency installer and no tests here, so that a package build can use it.
install:
	$(CONFIGURE)
	cmake --build $(BUILD_DIR) --target Rasterblatt packaging_files
	cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))

# rasterblatt_<version>_amd64.deb in $(DEB_DIR), built with all of Debian's hardening flags
# and checked by lintian.
deb: deps
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	cmake -S . -B $(DEB_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build $(DEB_DIR)
	rm -f $(DEB_DIR)/rasterblatt_*.deb
	cd $(DEB_DIR) && cpack -G DEB
	lintian --display-info --fail-on error $(DEB_DIR)/rasterblatt_*.deb

clean:
	rm -rf $(BUILD_DIR) $(DEB_DIR)
