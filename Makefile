# Front door. `make run` and `make test` install what is missing on Debian 12,
# build, and start the program or run every test.
PRESET := linux
BUILD  := build/$(PRESET)

.PHONY: all deps build run test roster clean

all: build

deps:
	@tools/install-deps.sh build

build: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

run: build
	tools/run.sh $(BUILD)/varnholt

test: build
	ctest --preset $(PRESET) -j2

# Regenerates the synthetic roster; the committed file must come out unchanged.
roster:
	python3 tools/make_roster.py roster/roster.tsv

clean:
	rm -rf build
