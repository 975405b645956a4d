# make run   installs what is missing, builds, and runs the program on the bundled sample
# make test  installs what is missing, builds, and runs every test
# make package  builds the Debian package in $(BUILD)/package
BUILD ?= build
SAMPLE := samples/radiograph.jpg
OUT ?= $(BUILD)/sample-adjusted.jpg
# make run works on a copy, so the bundled sample stays as it is.
RUN_PICTURE := $(BUILD)/radiograph.jpg
SCREENSHOT ?= $(BUILD)/screenshot.png

.PHONY: deps build run test package clean
deps:
	@./scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD)

run: build
	@cp $(SAMPLE) $(RUN_PICTURE)
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/app/selection_image "$(abspath $(RUN_PICTURE))"; \
	else \
	  rm -f $(SCREENSHOT); \
	  mkdir -p -m 700 $(BUILD)/runtime; \
	  XDG_RUNTIME_DIR="$${XDG_RUNTIME_DIR:-$(abspath $(BUILD)/runtime)}" \
	  SELECTION_IMAGE_SCREENSHOT="$(abspath $(SCREENSHOT))" \
	    xvfb-run -a -s "-screen 0 1024x768x24" $(BUILD)/app/selection_image "$(abspath $(RUN_PICTURE))" && \
	  echo "No display here: the window ran in a virtual X display; screenshot saved to $(SCREENSHOT)"; \
	fi

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j2

# The package has a configuration of its own: installed under /usr, where the
# window's library goes to the multiarch library folder, and without the
# tests and benchmarks, whatever the main build folder was configured with.
package: deps
	@cmake -S . -B $(BUILD)/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DBUILD_TESTING=OFF -DSELECTION_IMAGE_BENCH=OFF >/dev/null
	@cmake --build $(BUILD)/package
	@cd $(BUILD)/package && cpack

clean:
	rm -rf $(BUILD)
