# make run   installs what is missing, builds, and runs the program on the bundled sample
# make test  installs what is missing, builds, and runs every test
BUILD ?= build
SAMPLE := samples/radiograph.jpg
OUT ?= $(BUILD)/sample-adjusted.jpg

.PHONY: deps build run test clean
deps:
	@./scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD)

run: build
	@$(BUILD)/tools/picfilter --net 1 --light 10 --contrast 20 --gamma 110 $(SAMPLE) $(OUT)
	@echo "Adjusted copy of $(SAMPLE) written to $(OUT)"

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j2

clean:
	rm -rf $(BUILD)
