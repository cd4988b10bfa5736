# Two commands for everything: `make run` starts the panel, `make test` runs every test tier.
BUILD ?= build
JOBS ?= 2
NATIVE := $(BUILD)/native
MINGW := $(BUILD)/mingw
MINGW32 := $(BUILD)/mingw-i686
FUZZ := $(BUILD)/fuzz
FUZZ_SECONDS ?= 30

.PHONY: all deps build native mingw mingw32 fuzz test run clean format

all: build

deps:
	@bash scripts/install-deps.sh

native: deps
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(NATIVE) -j $(JOBS)

# A build folder keeps the compiler it was first configured with: one made with another
# toolchain file starts afresh.
define fresh-toolchain
	@if [ -f $(1)/CMakeCache.txt ] && ! grep -q 'CMAKE_TOOLCHAIN_FILE.*$(2)' $(1)/CMakeCache.txt; \
	then rm -rf $(1)/CMakeCache.txt $(1)/CMakeFiles; fi
endef

# 64-bit Windows: the exe every Wine tier runs, with the tests and the stub bundle.
mingw: deps
	$(call fresh-toolchain,$(MINGW),cmake/mingw-w64-x86_64.cmake)
	cmake -S . -B $(MINGW) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(MINGW) -j $(JOBS)

# 32-bit Windows: the exe that ships. Only the exe: these machines cannot run 32-bit code.
mingw32: deps
	$(call fresh-toolchain,$(MINGW32),cmake/mingw-w64-i686.cmake)
	cmake -S . -B $(MINGW32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release -DOAPANEL_TESTS=OFF
	cmake --build $(MINGW32) -j $(JOBS)

build: native mingw mingw32

# The fuzz targets: a clang build of their own with the sanitizers, each run FUZZ_SECONDS.
fuzz: deps
	cmake -S . -B $(FUZZ) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DOAPANEL_TESTS=OFF -DOAPANEL_FUZZ=ON
	cmake --build $(FUZZ) -j $(JOBS)
	bash tests/fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

# unit (native, simulated machine), the imports of the 32-bit exe, then the 64-bit build's
# imports, wine (backend under Wine) and e2e (the real exe), then fuzz (the registry readers
# under the sanitizers, for a bounded time).
test: build
	cd $(NATIVE) && ctest --output-on-failure
	cd $(MINGW32) && ctest --output-on-failure
	cd $(MINGW) && ctest --output-on-failure
	$(MAKE) --no-print-directory fuzz

run: mingw
	bash scripts/run.sh $(MINGW)/app/oapanel.exe $(MINGW)/bundle

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
