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

clean:
	rm -rf $(BUILD)
