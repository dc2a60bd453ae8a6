# One command per job; CMake does the building underneath.
BUILD ?= build
PREFIX ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all demo test clean

all: $(BUILD)/Makefile
	cmake --build $(BUILD) -j2

$(BUILD)/Makefile:
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

# Dump the bundled sample light curve, named through its option file.
demo: all
	./$(BUILD)/lcdump -file examples/sample.opt

test: all
	cd $(BUILD) && ctest --output-on-failure -j2

.PHONY: install plot

# Installs bin/lcdump and share/man/man1/lcdump.1 under PREFIX, whatever
# prefix the build directory was first configured with; DESTDIR is honoured.
install: all
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Redraws doc/sample.png, the README's picture of the bundled sample, from
# lcdump's own output (needs gnuplot).
plot: all
	tools/plot_sample.sh ./$(BUILD)/lcdump examples/sample.lc doc/sample.png

clean:
	rm -rf $(BUILD)

# Times formatting one line, then lcdump on a million records against the two
# reference programs in bench/, in an optimised build of its own; BENCH_RUNS
# rounds of the three, medians shown.
BENCH_BUILD ?= build-bench
BENCH_RUNS ?= 7
.PHONY: bench
bench:
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DLCDUMP_TESTS=OFF -DLCDUMP_BENCH=ON
	cmake --build $(BENCH_BUILD) -j2
	cd $(BENCH_BUILD)/bench && if [ -x format_bench ]; then ./format_bench --benchmark_min_time=0.5; fi
	cd $(BENCH_BUILD)/bench && ./lcbench --runs $(BENCH_RUNS) ../lcdump ./floor_dump ./iostream_dump
