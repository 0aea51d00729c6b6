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

.PHONY: all deps configure build run test bench install deb clean

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
