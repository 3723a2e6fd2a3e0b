// tiepic-db: a small command-line tool over the record database, for tests
// and for users who want to look into an album's record of saved pictures.
// Arguments and output are UTF-8; texts inside the files are GBK. The index
// file is the database's path with its extension replaced by "ENX", as the
// download keeps it.
//
// `import` fills the records of the program (or of --home DIR) from the
// manifests of the album folders under a folder.
//
// Exit status: 0 success (found, consistent), 1 not found or inconsistent
// (for import: some pictures missing or changed), 2 any failure, printed
// with the operation's error code and message.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "download/manifest_import.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "recorddb/file.h"
#include "recorddb/inspect.h"
#include "recorddb/operations.h"

namespace {

using recorddb::DbLastError;

constexpr int kUsageExit = 2;

int Usage() {
  std::fprintf(stderr,
               "usage: tiepic-db create DB\n"
               "       tiepic-db append DB ID...\n"
               "       tiepic-db find DB ID\n"
               "       tiepic-db dump DB\n"
               "       tiepic-db check DB\n"
               "       tiepic-db import [--check] [--home DIR] FOLDER\n");
  return kUsageExit;
}

int Failure(const char* operation, int32_t code) {
  std::fprintf(stderr, "%s failed: error %d: %s\n", operation, code,
               platform::ToUtf8(recorddb::DbErrorText(code)).c_str());
  return 2;
}

// Another program appending to the same database holds its locks for a
// moment only; an operation refused by a lock is tried again a few times.
template <typename Op>
bool WithRetries(Op op) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (op()) return true;
    if (DbLastError() != recorddb::kErrLockFailed) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Opens the database and rebuilds its index, as an album download does.
int OpenWithIndex(const rt::Text& db) {
  if (!WithRetries([&] { return recorddb::DbOpen(db); })) return Failure("DbOpen", DbLastError());
  const rt::Text index = recorddb::WithExtension(db, "ENX");
  if (!WithRetries([&] { return recorddb::DbCreateIndex(index, {"photo_id"}); })) {
    return Failure("DbCreateIndex", DbLastError());
  }
  return 0;
}

int Create(const rt::Text& db) {
  if (!recorddb::DbCreate(db, {{"photo_id", 10, 20}})) {
    return Failure("DbCreate", DbLastError());
  }
  return 0;
}

int Append(const rt::Text& db, const std::vector<std::string>& ids) {
  if (int status = OpenWithIndex(db); status != 0) return status;
  for (const std::string& id : ids) {
    const std::vector<rt::Value> key = {rt::Value(platform::FromUtf8(id))};
    bool found = false;
    if (!WithRetries([&] {
          recorddb::DbRewind();
          found = recorddb::DbFind(key);
          return found || DbLastError() == 0;
        })) {
      return Failure("DbFind", DbLastError());
    }
    if (found) {
      std::printf("present %s\n", id.c_str());
      continue;
    }
    if (!WithRetries([&] { return recorddb::DbAppend(key); })) {
      return Failure("DbAppend", DbLastError());
    }
    std::printf("appended %s as record %d\n", id.c_str(), recorddb::DbCurrentPosition());
  }
  recorddb::DbClose();
  return 0;
}

int Find(const rt::Text& db, const std::string& id) {
  if (int status = OpenWithIndex(db); status != 0) return status;
  bool found = false;
  if (!WithRetries([&] {
        found = recorddb::DbFind({rt::Value(platform::FromUtf8(id))});
        return found || DbLastError() == 0;
      })) {
    return Failure("DbFind", DbLastError());
  }
  if (found) {
    std::printf("found %s at record %d\n", id.c_str(), recorddb::DbCurrentPosition());
  } else {
    std::printf("not found %s\n", id.c_str());
  }
  recorddb::DbClose();
  return found ? 0 : 1;
}

// The index file is looked into only when it exists.
rt::Text ExistingIndex(const rt::Text& db) {
  const rt::Text index = recorddb::WithExtension(db, "ENX");
  recorddb::File probe;
  return probe.Open(platform::ToUtf8(index), recorddb::File::Mode::kRead) == 0 ? index
                                                                             : rt::Text();
}

int Dump(const rt::Text& db) {
  const rt::Text main = recorddb::WithDefaultExtension(db, "EDB");
  if (int32_t code = recorddb::DumpDatabaseFiles(main, ExistingIndex(db), std::cout);
      code != 0) {
    std::cout.flush();
    return Failure("dump", code);
  }
  return 0;
}

int Check(const rt::Text& db) {
  const rt::Text main = recorddb::WithDefaultExtension(db, "EDB");
  const rt::Text index = ExistingIndex(db);
  recorddb::CheckResult result = recorddb::CheckDatabaseFiles(main, index);
  if (result.error != 0) return Failure("check", result.error);
  for (const std::string& problem : result.problems) std::printf("%s\n", problem.c_str());
  if (!result.problems.empty()) return 1;
  std::printf("consistent%s\n", index.empty() ? " (no index file)" : "");
  return 0;
}

// import [--check] [--home DIR] FOLDER: the manifests under FOLDER into the
// records, or with --check only what that would do.
int Import(const std::vector<std::string>& arguments) {
  bool check_only = false;
  std::string folder;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--check") {
      check_only = true;
    } else if (arguments[i] == "--home" && i + 1 < arguments.size()) {
      platform::SetRunDirectory(arguments[++i]);
    } else if (folder.empty() && !arguments[i].starts_with("--")) {
      folder = arguments[i];
    } else {
      return Usage();
    }
  }
  if (folder.empty()) return Usage();
  if (!platform::IsDirectory(folder)) {
    std::fprintf(stderr, "import failed: no folder %s\n", folder.c_str());
    return 2;
  }
  const download::ImportFigures figures = download::ImportManifests(
      folder, check_only, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
  std::printf("%s %lld %s: %lld new, %lld already recorded, %lld missing, %lld changed%s\n",
              check_only ? "checked" : "imported", static_cast<long long>(figures.manifests),
              figures.manifests == 1 ? "manifest" : "manifests",
              static_cast<long long>(figures.added), static_cast<long long>(figures.present),
              static_cast<long long>(figures.missing), static_cast<long long>(figures.changed),
              check_only ? " (nothing written)" : "");
  if (figures.record_failures > 0) return 2;
  return figures.missing + figures.changed > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "import") {
    return Import(std::vector<std::string>(argv + 2, argv + argc));
  }
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  const rt::Text db = platform::FromUtf8(argv[2]);
  std::vector<std::string> rest(argv + 3, argv + argc);
  if (command == "create" && rest.empty()) return Create(db);
  if (command == "append" && !rest.empty()) return Append(db, rest);
  if (command == "find" && rest.size() == 1) return Find(db, rest[0]);
  if (command == "dump" && rest.empty()) return Dump(db);
  if (command == "check" && rest.empty()) return Check(db);
  return Usage();
}
