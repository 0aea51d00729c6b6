# Rasterblatt: the two commands are `make run` and `make test`.
BUILD_DIR  ?= build
BUILD_TYPE ?= Release
WERROR     ?= OFF

.PHONY: all deps configure build run test bench install clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DRASTERBLATT_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD_DIR)

run: build
	./$(BUILD_DIR)/Rasterblatt

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

bench: configure
	cmake --build $(BUILD_DIR) --target benchmarks
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -f "$$b" ] && [ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; done

install: build
	cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
