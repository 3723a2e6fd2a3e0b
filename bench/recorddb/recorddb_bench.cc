// The repeat-download record's cost per picture (DbRewind, DbFind, DbFind,
// DbAppend on a growing database) and its index rebuild, against SQLite
// used as download tools keep their archive of downloaded ids: one table
// with a TEXT PRIMARY KEY, per id a SELECT and an INSERT when the id is new.
//
// SQLite runs in three ways: autocommit with its defaults (a flush to disk
// per insert), all inserts in one transaction, and autocommit with WAL and
// synchronous=NORMAL, which like the record database does not flush for
// every record. The rebuild is set against reading the same 100,000 records
// and sorting their keys, and a rebuild over 100,000 copies of one id
// against the rebuild over distinct ids. A ratio table closes the run; the machine is
// shared, so only ratios measured in one run mean anything.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "recorddb/operations.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Folder() {
  static std::string folder = [] {
    char pattern[] = "/tmp/tiepic-bench-XXXXXX";
    return std::string(::mkdtemp(pattern));
  }();
  return folder;
}

// Picture ids of 20 hex digits, all different.
const std::vector<std::string>& Ids(size_t n) {
  static std::map<size_t, std::vector<std::string>> cache;
  auto& ids = cache[n];
  if (ids.empty()) {
    std::mt19937_64 rng(n);
    char buf[24];
    for (size_t i = 0; i < n; ++i) {
      std::snprintf(buf, sizeof buf, "%04x%016llx", static_cast<unsigned>(i & 0xffff),
                    static_cast<unsigned long long>(rng()));
      ids.emplace_back(buf);
    }
  }
  return ids;
}

// Best seconds per id of each benchmark, for the closing ratio table.
std::map<std::string, double>& Best() {
  static std::map<std::string, double> best;
  return best;
}

void Record(const std::string& name, double seconds_per_item) {
  auto [it, fresh] = Best().emplace(name, seconds_per_item);
  if (!fresh) it->second = std::min(it->second, seconds_per_item);
}

void BM_RecordDbPerPicture(benchmark::State& state) {
  const auto& ids = Ids(static_cast<size_t>(state.range(0)));
  const std::string db = Folder() + "/album.edb";
  for (auto _ : state) {
    state.PauseTiming();
    recorddb::DbCloseAll();
    if (!recorddb::DbCreate(db, {{"photo_id", 10, 20}}) || !recorddb::DbOpen(db) ||
        !recorddb::DbCreateIndex(Folder() + "/album", {"photo_id"})) {
      state.SkipWithError("cannot prepare the database");
      return;
    }
    state.ResumeTiming();
    const auto start = Clock::now();
    for (const std::string& id : ids) {
      const std::vector<rt::Value> key = {rt::Value(id)};
      recorddb::DbRewind();
      bool seen = recorddb::DbFind(key);
      if (!seen && !recorddb::DbFind(key)) recorddb::DbAppend(key);
    }
    Record("recorddb/" + std::to_string(ids.size()),
           std::chrono::duration<double>(Clock::now() - start).count() / ids.size());
  }
  recorddb::DbCloseAll();
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(ids.size()));
}

enum class SqliteMode { kAutocommit, kTransaction, kWalNormal };

const char* ModeName(SqliteMode mode) {
  switch (mode) {
    case SqliteMode::kAutocommit:
      return "sqlite-autocommit";
    case SqliteMode::kTransaction:
      return "sqlite-transaction";
    default:
      return "sqlite-wal-normal";
  }
}

void RunSqlite(benchmark::State& state, SqliteMode mode) {
  const auto& ids = Ids(static_cast<size_t>(state.range(0)));
  const std::string path = Folder() + "/archive.sqlite";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE archive (id TEXT PRIMARY KEY)", nullptr, nullptr, nullptr);
    if (mode == SqliteMode::kWalNormal) {
      sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr,
                   nullptr, nullptr);
    }
    sqlite3_stmt *select = nullptr, *insert = nullptr;
    sqlite3_prepare_v2(db, "SELECT 1 FROM archive WHERE id = ?", -1, &select, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO archive (id) VALUES (?)", -1, &insert, nullptr);
    state.ResumeTiming();
    const auto start = Clock::now();
    if (mode == SqliteMode::kTransaction) sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const std::string& id : ids) {
      sqlite3_bind_text(select, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
      const bool seen = sqlite3_step(select) == SQLITE_ROW;
      sqlite3_reset(select);
      if (seen) continue;
      sqlite3_bind_text(insert, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError("insert failed");
      sqlite3_reset(insert);
    }
    if (mode == SqliteMode::kTransaction) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    Record(std::string(ModeName(mode)) + "/" + std::to_string(ids.size()),
           std::chrono::duration<double>(Clock::now() - start).count() / ids.size());
    state.PauseTiming();
    sqlite3_finalize(select);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(ids.size()));
}

void BM_SqliteAutocommit(benchmark::State& s) { RunSqlite(s, SqliteMode::kAutocommit); }
void BM_SqliteTransaction(benchmark::State& s) { RunSqlite(s, SqliteMode::kTransaction); }
void BM_SqliteWalNormal(benchmark::State& s) { RunSqlite(s, SqliteMode::kWalNormal); }

constexpr int kRebuildRecords = 100000;

// A database of 100,000 ids, made once.
const std::string& RebuildTable() {
  static const std::string db = [] {
    const std::string path = Folder() + "/big.edb";
    recorddb::DbCreate(path, {{"photo_id", 10, 20}});
    recorddb::DbOpen(path);
    for (const std::string& id : Ids(kRebuildRecords)) recorddb::DbAppend({rt::Value(id)});
    recorddb::DbCloseAll();
    return path;
  }();
  return db;
}

void BM_RecordDbIndexRebuild(benchmark::State& state) {
  const std::string& db = RebuildTable();
  recorddb::DbCloseAll();
  if (!recorddb::DbOpen(db)) return state.SkipWithError("cannot open");
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!recorddb::DbCreateIndex(Folder() + "/big", {"photo_id"})) {
      return state.SkipWithError("rebuild failed");
    }
    Record("rebuild/100000", std::chrono::duration<double>(Clock::now() - start).count());
  }
  recorddb::DbCloseAll();
}

// A database of 100,000 records holding one id, as a file full of repeats
// would be: written directly after an empty table's header.
const std::string& EqualIdsTable() {
  static const std::string db = [] {
    const std::string path = Folder() + "/equal.edb";
    recorddb::DbCreate(path, {{"photo_id", 10, 20}});
    std::vector<char> bytes(188 + 24 * static_cast<size_t>(kRebuildRecords), 0);
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (f == nullptr || std::fread(bytes.data(), 1, 188, f) != 188) {
      if (f != nullptr) std::fclose(f);
      return path;
    }
    auto put = [&](size_t at, int32_t v) { std::memcpy(bytes.data() + at, &v, 4); };
    for (int32_t k = 0; k < kRebuildRecords; ++k) {
      put(188 + 24 * static_cast<size_t>(k), k + 1);
      std::memcpy(bytes.data() + 192 + 24 * static_cast<size_t>(k), "0123456789abcdef0123", 20);
    }
    put(16, kRebuildRecords);
    put(20, kRebuildRecords + 1);
    std::rewind(f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
  }();
  return db;
}

// The rebuild over one id repeated: each insert goes to the end of the
// run, so it should cost about what the rebuild over distinct ids does.
void BM_RecordDbIndexRebuildEqualIds(benchmark::State& state) {
  const std::string& db = EqualIdsTable();
  recorddb::DbCloseAll();
  if (!recorddb::DbOpen(db)) return state.SkipWithError("cannot open");
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!recorddb::DbCreateIndex(Folder() + "/equal", {"photo_id"})) {
      return state.SkipWithError("rebuild failed");
    }
    Record("rebuild-equal/100000", std::chrono::duration<double>(Clock::now() - start).count());
  }
  recorddb::DbCloseAll();
}

// The anchor of the rebuild: read the same records and sort their keys.
void BM_ReadAndSortAnchor(benchmark::State& state) {
  const std::string& db = RebuildTable();
  for (auto _ : state) {
    const auto start = Clock::now();
    FILE* f = std::fopen(db.c_str(), "rb");
    std::vector<char> bytes(188 + 24 * static_cast<size_t>(kRebuildRecords));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::vector<std::array<char, 20>> keys(got > 188 ? (got - 188) / 24 : 0);
    for (size_t k = 0; k < keys.size(); ++k) {
      std::memcpy(keys[k].data(), bytes.data() + 188 + 24 * k + 4, 20);
    }
    std::sort(keys.begin(), keys.end());
    benchmark::DoNotOptimize(keys.data());
    Record("anchor/100000", std::chrono::duration<double>(Clock::now() - start).count());
  }
}

BENCHMARK(BM_RecordDbPerPicture)->Arg(10000)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteAutocommit)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteTransaction)->Arg(10000)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteWalNormal)->Arg(10000)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordDbIndexRebuild)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordDbIndexRebuildEqualIds)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndSortAnchor)->Iterations(10)->Unit(benchmark::kMillisecond);

void PrintRatios() {
  auto& best = Best();
  auto ratio = [&](const std::string& theirs, const std::string& ours) {
    if (!best.count(theirs) || !best.count(ours)) return;
    std::printf("  %-28s / %-18s = %8.2f\n", theirs.c_str(), ours.c_str(),
                best[theirs] / best[ours]);
  };
  std::printf("\nRatios (larger: the record database is faster):\n");
  for (const char* n : {"10000", "100000"}) {
    for (const char* mode : {"sqlite-autocommit", "sqlite-transaction", "sqlite-wal-normal"}) {
      ratio(std::string(mode) + "/" + n, std::string("recorddb/") + n);
    }
  }
  if (best.count("rebuild/100000") && best.count("anchor/100000")) {
    std::printf("  rebuild/100000 / anchor/100000 = %.2f (rebuild %.1f ms, anchor %.1f ms)\n",
                best["rebuild/100000"] / best["anchor/100000"], best["rebuild/100000"] * 1e3,
                best["anchor/100000"] * 1e3);
  }
  if (best.count("rebuild-equal/100000") && best.count("rebuild/100000")) {
    std::printf("  rebuild-equal/100000 / rebuild/100000 = %.2f\n",
                best["rebuild-equal/100000"] / best["rebuild/100000"]);
  }
  for (const auto& [name, seconds] : best) {
    std::printf("  %-28s %10.3f us%s\n", name.c_str(), seconds * 1e6,
                name.find('/') != std::string::npos && name.rfind("rebuild", 0) != 0 &&
                        name.rfind("anchor", 0) != 0
                    ? " per id"
                    : "");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  std::filesystem::remove_all(Folder());
  return 0;
}
