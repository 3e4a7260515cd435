# Front door. `make demo` renders audio through the module in our host; `make test` builds
# both platforms and runs every suite; `make package` writes the Windows bundle and installer to
# dist/. All install what is missing when run as root.

PACKAGES := cmake ninja-build python3 g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev \
            libbenchmark-dev libsndfile1-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
            wine64 wine nsis libx11-dev libxtst-dev libxres-dev libstb-dev xvfb xfonts-base

.PHONY: all deps test demo bench package clean

all: test

deps:
	@scripts/install-deps.sh $(PACKAGES)

test: deps
	@scripts/run-tests.sh

demo: deps
	@scripts/demo.sh

bench: deps
	@scripts/bench.sh

package: deps
	@scripts/package.sh

clean:
	rm -rf build dist
