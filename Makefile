# The two commands of the README, and the developer's shortcuts.
#   make demo   build, then run the main job on the embedded SQLite engine
#   make test   build and pass every test: the plain build (check), the
#               whole suite again under ASan+UBSan (sanitize), and a short
#               run of every fuzz target (fuzz-smoke)
BUILD ?= build
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test check demo sanitize bench fuzz fuzz-build fuzz-smoke docs clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: check sanitize fuzz-smoke

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The main job on the embedded default: a schema with triggers and a few
# thousand rows run into an SQLite file, then a PL/SQL script split as
# SQL*Plus cuts it, then a pg_dump excerpt split with both rule sets.
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
	@echo "== kxsql split --dialect postgres examples/scripts/pg_dump_excerpt.sql   (each statement's first line)"
	@$(BUILD)/cli/kxsql split --dialect postgres examples/scripts/pg_dump_excerpt.sql | grep -A1 --no-group-separator '^-- \['
	@echo "== the same with --rules classic: \`begin;\` opens a block that takes in the whole script"
	@$(BUILD)/cli/kxsql split --dialect postgres --rules classic examples/scripts/pg_dump_excerpt.sql | grep -c '^-- \[' | \
	  sed 's/$$/ statement/'


sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKXSQL_SANITIZE=ON -DKXSQL_BUILD_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The splitting comparison with libpg_query and sqlparse, the memory check on
# a 1 GB file (KXSQL_BENCH_BIG=0 leaves it out) and kxsql run beside the
# sqlite3 shell; see scripts/bench-compare.sh. The Google benchmarks are the
# programs $(BUILD)/bench/*_bench.
# The comparison's packages come first, and the build folder is configured
# again, so that a folder configured before libpg_query was installed finds
# it now.
bench: deps
	@scripts/install-deps.sh bench
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null
	cmake --build $(BUILD) -j $(JOBS)
	scripts/bench-compare.sh $(BUILD)

# The API reference from the public headers, in $(BUILD)/docs/html; any
# undocumented public member fails the target.
docs:
	@scripts/install-deps.sh docs
	@mkdir -p $(BUILD)/docs
	KXSQL_DOCS_OUT=$(BUILD)/docs doxygen docs/Doxyfile
	@if [ -s $(BUILD)/docs/warnings.log ]; then cat $(BUILD)/docs/warnings.log; exit 1; fi
	@echo "API reference: $(BUILD)/docs/html/index.html"

# Fuzzing, with clang's libFuzzer in a build folder of its own. Each target
# runs FUZZ_SECONDS on its starting corpus ($(FUZZ_BUILD)/seeds/<target>, made
# by scripts/fuzz-seeds.sh); what it learns stays in $(FUZZ_BUILD)/corpus and
# a crashing input lands in $(FUZZ_BUILD)/artifacts/<target>/.
FUZZ_BUILD = build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = tokenizer splitter split_paths native_paths file_source native
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKXSQL_BUILD_FUZZ=ON \
	  -DKXSQL_BUILD_TESTS=OFF -DKXSQL_BUILD_BENCH=OFF -DKXSQL_BUILD_CLI=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	@scripts/fuzz-seeds.sh $(FUZZ_BUILD)/seeds > /dev/null
	@set -e; for t in $(FUZZ_TARGETS); do \
	  case $$t in file_source) max_len=16384;; *) max_len=4096;; esac; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/artifacts/$$t; \
	  cp $(FUZZ_BUILD)/seeds/$$t/* $(FUZZ_BUILD)/corpus/$$t/; \
	  echo "== fuzz $$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=$$max_len -timeout=30 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t/ $(FUZZ_BUILD)/corpus/$$t; \
	done

fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=10

clean:
	rm -rf $(BUILD) build-asan $(FUZZ_BUILD)
