# The two commands of the README, and the developer's shortcuts.
#   make demo   build, then run the main job on the embedded SQLite engine
#   make test   build and pass every test
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test demo sanitize bench fuzz docs install clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The main job on the embedded default: a schema with triggers and a few
# thousand rows run into an SQLite file, then a PL/SQL script split as Oracle.
DEMO_DB = $(BUILD)/demo/bookshop.db
demo: build
	@mkdir -p $(BUILD)/demo && rm -f $(DEMO_DB)
	@echo "== kxsql run --sqlite $(DEMO_DB) examples/scripts/bookshop.sql"
	@$(BUILD)/cli/kxsql run --sqlite $(DEMO_DB) examples/scripts/bookshop.sql
	@echo "== what the triggers did (sqlite3)"
	@sqlite3 -column -header $(DEMO_DB) \
	  "SELECT (SELECT count(*) FROM orders) AS orders, (SELECT count(*) FROM order_line) AS order_lines, \
	          (SELECT count(*) FROM stock_log) AS stock_log_rows, (SELECT sum(total_cents) FROM orders) AS takings_cents;"
	@echo "== kxsql split --dialect oracle examples/scripts/payroll.sql"
	@$(BUILD)/cli/kxsql split --dialect oracle examples/scripts/payroll.sql

sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKXSQL_SANITIZE=ON -DKXSQL_BUILD_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan
