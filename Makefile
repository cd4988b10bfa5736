# Two commands for everything: `make run` starts the panel, `make test` runs every test tier.
BUILD ?= build
JOBS ?= 2
NATIVE := $(BUILD)/native
MINGW := $(BUILD)/mingw

.PHONY: all deps build native mingw test run clean format

all: build

deps:
	@bash scripts/install-deps.sh

native: deps
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(NATIVE) -j $(JOBS)

mingw: deps
	cmake -S . -B $(MINGW) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(MINGW) -j $(JOBS)

build: native mingw

# unit (native, simulated machine), then wine (backend under Wine) and e2e (the real exe).
test: build
	cd $(NATIVE) && ctest --output-on-failure
	cd $(MINGW) && ctest --output-on-failure

run: mingw
	bash scripts/run.sh $(MINGW)/app/oapanel.exe $(MINGW)/bundle

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
