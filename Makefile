# make run   sets up, builds and starts the program in its program folder (build/bin)
# make test  sets up, builds with the sanitizers and runs every test, then says why a skipped one did not run
# make bench builds the benchmarks (Release, in build-bench); the program build leaves them out
JOBS ?= $(shell nproc)

.PHONY: setup build run test bench clean

setup:
	@scripts/setup.sh

build: setup
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVX_TESTS=OFF -DQVX_BENCH=OFF
	cmake --build build -j $(JOBS)
	@scripts/register-odbc.sh build

run: build
	@scripts/run.sh build

test: setup
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DQVX_SANITIZE=ON -DQVX_BENCH=OFF
	cmake --build build-test -j $(JOBS)
	ctest --test-dir build-test --output-on-failure -j $(JOBS); status=$$?; tests/support/skipped-reasons.sh build-test; exit $$status

bench: setup
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQVX_TESTS=OFF
	cmake --build build-bench -j $(JOBS)

clean:
	rm -rf build build-test build-bench build-release
