# Quick start: `make run` starts Morvel, `make test` runs every test.
# Both install missing Debian packages and configure the build first.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test build configure deps bench fuzz clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then \
	  cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS); \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/morvel $(ARGS)

# Window tests need an X display: start Xvfb when none is set.
test: build
	@if [ -z "$$DISPLAY" ]; then \
	  xvfb-run -a -s '-screen 0 1280x1024x24' bash scripts/run-tests.sh $(BUILD_DIR); \
	else \
	  bash scripts/run-tests.sh $(BUILD_DIR); \
	fi

bench: deps
	bash scripts/install-deps.sh --bench
	cmake -S . -B $(BUILD_DIR)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEL_BUILD_BENCH=ON -DMORVEL_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR)-bench -j $(JOBS)
	bash scripts/run-bench.sh $(BUILD_DIR)-bench

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-bench
