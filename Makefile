# One command per job; CMake does the building underneath.
BUILD ?= build
# Release by default; BUILD_TYPE=RelWithDebInfo or Debug in a build
# directory of its own (BUILD=...) keeps debug information.
BUILD_TYPE ?= Release
PREFIX ?= /usr/local
CMAKE_FLAGS ?=
# The sanitizer build of the tests and the fuzz harnesses use clang.
SAN_BUILD ?= build-san
FUZZ_BUILD ?= build-fuzz
CLANGXX ?= clang++
# Seconds per harness in fuzz-check; executions per harness in a fuzz campaign.
FUZZ_TIME ?= 60
FUZZ_RUNS ?= 2000000
FUZZ_JOBS ?= 2
BENCH_BUILD ?= build-bench
BENCH_RUNS ?= 7
BENCH_RECORDS ?= 1000000
WIN_BUILD ?= build-win
WINE ?= /usr/lib/wine/wine64
PKG_BUILD ?= build-pkg
LINT_BUILD ?= build-lint
# The processors cross-check builds for (Debian's g++-ARCH-linux-gnu), each
# run under qemu-user in build-ARCH.
CROSS_ARCHES ?= aarch64 s390x
CROSS_CHECKS = $(CROSS_ARCHES:%=cross-check-%)

# $(call need,COMMAND,PACKAGE): stop, in one line, where COMMAND is missing.
need = @command -v $(1) >/dev/null 2>&1 || { echo "$@ needs $(1): apt-get install $(2)"; exit 1; }

.PHONY: all demo test tests memcheck lint ci install uninstall help plot sanitize fuzz-build fuzz-check fuzz bench windows windows-check clean
.PHONY: package package-windows package-check cross-check $(CROSS_CHECKS) scale-check bench-scale parity

# The program alone: CMake and a C++ compiler are all it needs.
all: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target lcdump -j2

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

# Dump the bundled sample light curve, named through its option file.
demo: all
	./$(BUILD)/lcdump -file examples/sample.opt

# The tests join the same build directory only when asked for; without
# GoogleTest this stops with the one line that says what to install.
tests: $(BUILD)/CMakeCache.txt
	@cmake -S . -B $(BUILD) -DLCDUMP_TESTS=ON > $(BUILD)/configure-tests.log 2>&1 || \
	  { grep -ho 'lcdump: .*' $(BUILD)/configure-tests.log || cat $(BUILD)/configure-tests.log; exit 1; }
	cmake --build $(BUILD) -j2

# The quick suite: unit, end-to-end, fault, manual-page, install and README tests.
test: tests
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j2 -LE memcheck

# The end-to-end and fault tests again with every lcdump under valgrind (slow).
memcheck: tests
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j2 -L memcheck

# The layout against .clang-format, the rules on what src/ may print and
# return, and the shape of the code: no file of src/ over 300 lines, no
# OutputForm filled by position (tools/lint.sh); then the program, its tool
# and the tests built with strict warnings as errors, in a build directory
# of their own.
lint:
	$(call need,clang-format,clang-format)
	tools/lint.sh
	cmake -S . -B $(LINT_BUILD) -DLCDUMP_WERROR=ON -DLCDUMP_TESTS=ON -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)
	cmake --build $(LINT_BUILD) -j2

# Everything CI runs, lint first; there the exhaustive checks run at full size.
ci: export LCDUMP_FULL_CHECKS = 1
ci: lint test memcheck sanitize fuzz-check windows-check package-check cross-check scale-check

# Installs a stripped bin/lcdump and share/man/man1/lcdump.1 under PREFIX,
# whatever prefix the build directory was first configured with; DESTDIR is
# honoured.
install: all
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

# Removes the files the last make install put in place, as CMake listed them
# in $(BUILD)/install_manifest.txt (without DESTDIR, which is honoured here
# too), and names each; directories stay.
uninstall:
	@manifest=$(BUILD)/install_manifest.txt; \
	[ -f "$$manifest" ] || { echo "$@: no $$manifest: nothing was installed from $(BUILD)"; exit 1; }; \
	while IFS= read -r file || [ -n "$$file" ]; do \
	  if [ -e "$(DESTDIR)$$file" ] || [ -L "$(DESTDIR)$$file" ]; then \
	    rm -f "$(DESTDIR)$$file" && echo "removed $(DESTDIR)$$file"; \
	  else \
	    echo "not there: $(DESTDIR)$$file"; \
	  fi; \
	done < "$$manifest"

# Redraws the README's pictures with lcdump alone: doc/sample.svg, the -svg
# picture of the bundled sample; and, from a survey that make_survey writes
# into a scratch directory for the purpose, doc/survey.svg, the diagram of
# its -report page, and doc/survey-top.svg, the -svg picture of its
# star0282, the first by flux1_chi2dof (tools/survey_pictures.sh).
plot: all
	cmake --build $(BUILD) --target make_survey -j2
	./$(BUILD)/lcdump -in examples/sample.lc -svg > doc/sample.svg
	tools/survey_pictures.sh ./$(BUILD)/lcdump ./$(BUILD)/make_survey doc

# Every test again, built with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer; any report fails the test that caused it.
# Configured on every run, so that a build directory made earlier without
# the tests gets them; and a run that finds no test fails.
sanitize:
	CXX=$(CLANGXX) cmake -S . -B $(SAN_BUILD) -DLCDUMP_SANITIZE=ON -DLCDUMP_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD) -j2
	cd $(SAN_BUILD) && ctest --output-on-failure --no-tests=error -j2

fuzz-build: $(FUZZ_BUILD)/Makefile
	cmake --build $(FUZZ_BUILD) -j2

$(FUZZ_BUILD)/Makefile:
	CXX=$(CLANGXX) cmake -S . -B $(FUZZ_BUILD) -DLCDUMP_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

# A bounded run of every harness, as CI does it.
fuzz-check: fuzz-build
	fuzz/run --build $(FUZZ_BUILD) --time $(FUZZ_TIME)

# A longer campaign: FUZZ_RUNS executions of every harness, FUZZ_JOBS at once.
fuzz: fuzz-build
	fuzz/run --build $(FUZZ_BUILD) --runs $(FUZZ_RUNS) --jobs $(FUZZ_JOBS)

# Times formatting one line and the non-uniform sums, then lcdump on
# BENCH_RECORDS records against the three reference programs in bench/, and
# its -fits and -stats against its text, in an optimised build of its own,
# with output to /dev/null and piped; BENCH_RUNS rounds of all, medians shown.
# Then the period search per star against astropy's, where Debian's python3
# has it.
bench:
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DLCDUMP_BENCH=ON
	cmake --build $(BENCH_BUILD) -j2
	cd $(BENCH_BUILD)/bench && if [ -x format_bench ]; then ./format_bench --benchmark_min_time=0.5; fi
	cd $(BENCH_BUILD)/bench && if [ -x nufft_bench ]; then ./nufft_bench --benchmark_min_time=0.5; fi
	cd $(BENCH_BUILD)/bench && ./lcbench --runs $(BENCH_RUNS) --records $(BENCH_RECORDS) ../lcdump ./floor_dump ./write_floor ./iostream_dump
	@if /usr/bin/python3 -c 'import astropy.timeseries' 2>/dev/null; then \
	  /usr/bin/python3 bench/period_bench.py $(BENCH_BUILD)/lcdump; \
	else echo "period search not timed against astropy: /usr/bin/python3 has no astropy (apt-get install python3-astropy)"; fi

# Cross-builds a static $(WIN_BUILD)/lcdump.exe with MinGW-w64.
windows: $(WIN_BUILD)/Makefile
	cmake --build $(WIN_BUILD) -j2 --target lcdump platform_check

$(WIN_BUILD)/Makefile:
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

# Checks that lcdump.exe under wine prints what the Linux build prints, byte for byte.
windows-check: all windows
	cmake --build $(BUILD) -j2 --target platform_check
	WINE=$(WINE) WINEPREFIX=$(CURDIR)/$(WIN_BUILD)/wineprefix PLATFORM_CHECKS="$(BUILD)/platform_check $(WIN_BUILD)/platform_check.exe" \
	  tests/windows_parity.sh ./$(BUILD)/lcdump $(WIN_BUILD)/lcdump.exe

# The Debian package and the source archive, made by CPack in a Release
# build of their own: hardened, laid out for /usr, in $(PKG_BUILD)/.
package:
	$(call need,dpkg-shlibdeps,dpkg-dev)
	cmake -S . -B $(PKG_BUILD) -DCMAKE_BUILD_TYPE=Release -DLCDUMP_PACKAGE=ON
	cmake --build $(PKG_BUILD) -j2
	cd $(PKG_BUILD) && cpack && cpack --config CPackSourceConfig.cmake

# $(WIN_BUILD)/lcdump-VERSION-win64.zip: lcdump.exe, the documents, the
# manual as HTML and the sample.
package-windows:
	$(call need,x86_64-w64-mingw32-g++-posix,g++-mingw-w64-x86-64-posix)
	$(call need,mandoc,mandoc)
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release -DLCDUMP_PACKAGE=ON
	cmake --build $(WIN_BUILD) -j2
	cd $(WIN_BUILD) && cpack

# The three packages used as their users would use them: lintian on the .deb,
# then dpkg -i and -r (as root); the zip's lcdump.exe under wine; the source
# archive built and tested in a scratch directory.
package-check: all package package-windows
	$(call need,lintian,lintian)
	$(call need,man,man-db)
	$(call need,unzip,unzip)
	$(call need,$(WINE),wine64)
	WINE=$(WINE) tests/package_check.sh ./$(BUILD)/lcdump $(PKG_BUILD) $(WIN_BUILD)

# lcdump built for other processors (big-endian s390x among them) and run
# under qemu-user on the parity cases, against this machine's build.
cross-check: $(CROSS_CHECKS)

$(CROSS_CHECKS): cross-check-%: all
	$(call need,$*-linux-gnu-g++,g++-$*-linux-gnu)
	$(call need,qemu-$*,qemu-user)
	$(call need,python3,python3)
	cmake -S . -B build-$* -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DLCDUMP_CROSS=$* -DCMAKE_BUILD_TYPE=Release
	cmake --build build-$* -j2 --target lcdump platform_check
	cmake --build $(BUILD) -j2 --target platform_check
	RUNNER="qemu-$* -L /usr/$*-linux-gnu" PLATFORM_CHECKS="$(BUILD)/platform_check build-$*/platform_check" \
	  tests/windows_parity.sh ./$(BUILD)/lcdump build-$*/lcdump

# The README's recipes for many files (lcdump -list, xargs, GNU parallel here
# and over ssh to an sshd of its own, the Slurm script under a one-node Slurm
# of its own) on 1,000 files, one of them cut short.
scale-check: all
	$(call need,parallel,parallel)
	$(call need,perl,perl)
	$(call need,/usr/sbin/sshd,openssh-server)
	$(call need,ssh,openssh-client)
	$(call need,munged,munge)
	$(call need,slurmctld,slurm-wlm)
	$(call need,slurmd,slurm-wlm)
	$(call need,sbatch,slurm-wlm)
	tests/scale_check.sh ./$(BUILD)/lcdump

# Files per second on 2,000 copies of the sample, one core: the per-file
# recipe against one lcdump -list, as text and FITS, and cat, and one
# -list -stats table; then -list's peak memory over 10,000 files against
# one file.
bench-scale: all
	$(call need,python3,python3)
	bench/scale_bench.sh ./$(BUILD)/lcdump

# lcdump at revision REV (make parity REV=dad07f2), built in a scratch
# directory, against this tree's build: the same standard output (of -fits,
# the data unit), standard error and exit status on the sample, 100,000
# random records and command lines that fail. Not part of ci: what a
# revision should agree with is the caller's to say.
parity: all
	@[ -n "$(REV)" ] || { echo "$@ needs a revision to compare with: make parity REV=dad07f2"; exit 1; }
	BUILD=$(BUILD) tools/parity.sh $(REV)

# One line a target.
help:
	@echo 'all              the program alone (the default)'
	@echo 'demo             dump the bundled sample light curve'
	@echo 'tests            build the tests too (needs GoogleTest)'
	@echo 'test             the quick suite: unit, end-to-end, fault, manual-page, install and README tests'
	@echo 'memcheck         the end-to-end and fault tests under valgrind (slow)'
	@echo 'lint             layout, the rules on src/, and a build with strict warnings as errors'
	@echo 'ci               everything CI runs, lint first'
	@echo 'install          a stripped bin/lcdump and its manual page under PREFIX; DESTDIR honoured'
	@echo 'uninstall        remove what make install put in place; DESTDIR honoured'
	@echo 'plot             redraw doc/sample.svg, doc/survey.svg and doc/survey-top.svg with lcdump -svg and -report'
	@echo 'sanitize         every test built with AddressSanitizer, LeakSanitizer and UBSan'
	@echo 'fuzz-build       the libFuzzer harnesses'
	@echo 'fuzz-check       a bounded run of every harness, as CI does it'
	@echo 'fuzz             a longer campaign: FUZZ_RUNS executions of every harness'
	@echo 'bench            lcdump timed against the reference programs in bench/'
	@echo 'bench-scale      files per second: the per-file recipe against -list, -list -stats, and peak memory'
	@echo 'parity           REV=... : lcdump at revision REV against this build, byte for byte'
	@echo 'windows          a static lcdump.exe, cross-built with MinGW-w64'
	@echo 'windows-check    lcdump.exe under wine against the Linux build, byte for byte'
	@echo 'package          the Debian package and the source archive'
	@echo 'package-windows  the Windows zip'
	@echo 'package-check    the three packages used as their users would use them'
	@echo 'cross-check      builds for $(CROSS_ARCHES) under qemu-user against this one'
	@echo 'scale-check      the README'"'"'s recipes for many files'
	@echo 'clean            remove every build directory'

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD) $(WIN_BUILD) $(PKG_BUILD) $(LINT_BUILD) $(CROSS_ARCHES:%=build-%)
