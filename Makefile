# Two commands for everything: `make run` starts the panel, `make test` runs every test tier.
BUILD ?= build
JOBS ?= 2
NATIVE := $(BUILD)/native
MINGW := $(BUILD)/mingw
FUZZ := $(BUILD)/fuzz
FUZZ_SECONDS ?= 30

.PHONY: all deps build native mingw fuzz test run clean format

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

# The fuzz targets: a clang build of their own with the sanitizers, each run FUZZ_SECONDS.
fuzz: deps
	cmake -S . -B $(FUZZ) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DOAPANEL_TESTS=OFF -DOAPANEL_FUZZ=ON
	cmake --build $(FUZZ) -j $(JOBS)
	bash tests/fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

# unit (native, simulated machine), then wine (backend under Wine) and e2e (the real exe),
# then fuzz (the registry readers under the sanitizers, for a bounded time).
test: build
	cd $(NATIVE) && ctest --output-on-failure
	cd $(MINGW) && ctest --output-on-failure
	$(MAKE) --no-print-directory fuzz

run: mingw
	bash scripts/run.sh $(MINGW)/app/oapanel.exe $(MINGW)/bundle

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
