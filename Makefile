# The two commands: `make run` and `make test`. Both install what is missing, then build.
# `make package` builds the Debian package (see README.md, Install).
BUILD ?= build
JOBS ?= 2
PORT ?= auto
SIM_LINK ?= /tmp/lumora-board

.PHONY: run test package deps build clean screenshots

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMORA_WERROR=ON >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run.sh "$(BUILD)" "$(PORT)" "$(SIM_LINK)"

test: build
	@scripts/test.sh "$(BUILD)" "$(JOBS)" build-asan build-fuzz

# Pictures of every page of the window in $(BUILD)/screenshots/.
screenshots: build
	@cmake --build $(BUILD) --target screenshots

package: build
	@cmake --build $(BUILD) --target package
	@echo "Install it with: sudo apt install ./$$(ls $(BUILD)/lumora-driver_*.deb)"

clean:
	rm -rf $(BUILD) build-*
