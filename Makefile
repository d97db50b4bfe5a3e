# Front door. `make run` and `make test` install what is missing on Debian 12,
# build, and start the program or run every test.
PRESET := linux
BUILD  := build/$(PRESET)

.PHONY: fixtures-xls all deps libs build run test test-sanitize memcheck fuzz bench windows windows64 test-windows web test-web package screenshots roster office-fixtures clean

all: build

deps:
	@tools/install-deps.sh build

# libsodium and FreeXL, which every Linux build links, built once from
# Debian's source packages with the patches of tools/patches/ (build/sodium/,
# build/freexl/): Argon2's memory in huge pages, FreeXL's bounds checks.
libs: deps
	tools/build-lib.sh sodium native
	tools/build-lib.sh freexl native

build: libs
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

run: build
	tools/run.sh $(BUILD)/varnholt

# The packages' checks look for the web page template too.
test: build web
	ctest --preset $(PRESET) -j2

# Every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer;
# the first report fails the test, and so does a leak.
test-sanitize: libs
	@test -f build/sanitize/build.ninja || cmake --preset sanitize
	cmake --build --preset sanitize
	ctest --preset sanitize -j2

# The program under Valgrind's memcheck: start, a query, 继续查询, the close control.
memcheck: build
	@tools/install-deps.sh memcheck
	tools/memcheck.sh $(BUILD)/varnholt

# The query fuzzer and the roster reader's fuzzer, FUZZ_SECONDS between them,
# from the committed seeds (fuzz/corpus, fuzz/corpus-roster) and what earlier
# runs found (build/fuzz/corpus*). A failing input is left in build/fuzz as
# crash-*; make it a regression test.
FUZZ_SECONDS ?= 60
FUZZ_FLAGS = -max_total_time=$$(( $(FUZZ_SECONDS) / 2 )) -timeout=30 -rss_limit_mb=4096 -print_final_stats=1
fuzz: libs
	@tools/install-deps.sh fuzz
	tools/build-lib.sh freexl fuzz
	@test -f build/fuzz/build.ninja || cmake --preset fuzz
	cmake --build --preset fuzz --target query_fuzzer roster_fuzzer
	mkdir -p build/fuzz/corpus build/fuzz/corpus-roster
	cd build/fuzz && LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp \
	    ./fuzz/query_fuzzer $(FUZZ_FLAGS) -max_len=4096 corpus $(CURDIR)/fuzz/corpus
	cd build/fuzz && ./fuzz/roster_fuzzer $(FUZZ_FLAGS) -max_len=8192 corpus-roster $(CURDIR)/fuzz/corpus-roster

# Start-up time and memory beside a bare Qt window, the time of one 确  定
# click, the size of both programs, and the web page's figures in Chromium,
# WebKit and Firefox: one table of medians.
bench: build web
	@tools/install-deps.sh bench
	@test -f build/windows/Varnholt.exe || $(MAKE) windows
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) --target bench_programs
	tools/bench.sh $(BUILD)

# The 32-bit Windows program, cross-compiled, and the same sources as a 64-bit
# program, tested under wine64 beside it. rosterc, which compiles the roster,
# comes from the Linux build; libsodium, and for the packer minizip, expat,
# FreeXL, libxml2 and brotli, are built once for each from Debian's source
# packages (build/sodium/, build/minizip/, build/expat/, build/freexl/,
# build/xml2/, build/brotli/).
TRIPLET_windows := i686-w64-mingw32
TRIPLET_windows64 := x86_64-w64-mingw32
windows windows64: build
	@tools/install-deps.sh windows
	for library in sodium minizip expat freexl xml2 brotli; do tools/build-lib.sh $$library $(TRIPLET_$@) || exit 1; done
	@test -f build/$@/build.ninja || cmake --preset $@
	cmake --build --preset $@

# The tests under Wine on a virtual X display: the 32-bit suite, natively
# where this machine runs i386 code, else under qemu-i386 emulation
# (WINE_I386=native or qemu chooses), and the 64-bit suite. The last line
# says how each ran.
test-windows: windows windows64 web
	tools/windows-suites.sh test

# The web page, build/web/varnholt.html: the same sources compiled to
# WebAssembly with Debian's Emscripten, libsodium built for it once from
# Debian's source package (build/sodium/), the form's markup printed by the
# Linux build's form_html and the roster put in by its rosterc. It is the page template varnholt-pack --web copies.
web: build
	@tools/install-deps.sh web
	tools/build-lib.sh sodium wasm32-unknown-emscripten
	@test -f build/web/build.ninja || cmake --preset web
	cmake --build --preset web

# The page in Chromium, WebKit and Firefox ESR (one CTest entry each), at a
# desktop and a phone viewport, from disk and from a local web server.
test-web: web
	ctest --preset web -j2

# The Debian package of the Linux program and the ZIP of the Windows program,
# built by CPack in their build folders and copied into build/packages/. The
# version is the project's (CMakeLists.txt): earlier packages are removed
# first, so that the names matched are this version's.
package: build windows web
	rm -f $(BUILD)/varnholt_*.deb build/windows/Varnholt-*-win32.zip
	cd $(BUILD) && cpack
	cd build/windows && cpack
	mkdir -p build/packages
	cp $(BUILD)/varnholt_*.deb build/windows/Varnholt-*-win32.zip build/packages/
	@ls -l build/packages

# The README's pictures of the three builds, rendered anew into docs/; the
# Windows ones from the 32-bit program, under qemu-i386 where the kernel runs
# no i386 code; the web page's in headless Chromium at a desktop and a phone
# viewport.
screenshots: build windows web
	@tools/install-deps.sh screenshots
	tools/screenshots.sh linux docs $(BUILD)/varnholt
	QT_SCALE_FACTOR=2 SCALE=2 tools/screenshots.sh linux-192dpi docs $(BUILD)/varnholt
	tools/windows-suites.sh screenshots
	tools/web_screenshots.py build/web/varnholt.html docs

# The Excel 97-2003 workbooks the tests read, written anew by LibreOffice
# into tests/data/, and Gnumeric's .xls, .xlsx and .ods of one sheet into
# tests/data/gnumeric/ (CI reads the committed ones). Gnumeric's first:
# LibreOffice saves its .xlsx as tests/data/libreoffice/roster.xls.
fixtures-xls:
	@tools/install-deps.sh fixtures
	/usr/bin/python3 tests/make_gnumeric.py
	/usr/bin/python3 tests/make_xls.py

# Regenerates the synthetic roster; the committed file must come out unchanged.
roster:
	python3 tools/make_roster.py roster/roster.tsv

# Regenerates tests/data/office with LibreOffice: the number-format oracle and
# the .xlsx/.ods rosters with their as-shown exports.
office-fixtures:
	@tools/install-deps.sh fixtures
	/usr/bin/python3 tools/make_office_fixtures.py tests/data/office

clean:
	rm -rf build
