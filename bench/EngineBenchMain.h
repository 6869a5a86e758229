// What the transaction engine's benchmark programs share: an offscreen application, a
// private short-date picture and ODBC registration, a large company file built once
// into the temporary folder, and the connection to it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <QApplication>
#include <benchmark/benchmark.h>

#include "EngineCaller.h"
#include "companyfile/Connection.h"
#include "platform/sys/Sys.h"
#include "samples/SampleBooks.h"
#include "support/OdbcTestEnv.h"

namespace qvx::test {

// The benchmark file "<fileStem><fileLines>-<revision>.MYO" in the temporary folder.
inline std::string EngineBenchFile(const std::string& fileStem, int fileLines) {
  return (std::filesystem::temp_directory_path() /
          (fileStem + std::to_string(fileLines) + "-" + samples::kBooksRevision + ".MYO"))
      .string();
}

// Runs the benchmarks of the program in an offscreen application with a private
// short-date picture and ODBC registration, once `prepare` (building and connecting to
// the program's files) has succeeded; 1 when it has not.
inline int RunBenchmarks(int argc, char** argv, const std::function<bool()>& prepare) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // A private short-date picture, so that the user's own regional settings are not read.
  const std::filesystem::path temp = std::filesystem::temp_directory_path();
  const std::string config = (temp / "qvx-bench-config").string();
  std::filesystem::create_directories(config + "/quorvex");
  std::ofstream(config + "/quorvex/short-date") << "dd/MM/yyyy\n";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  QApplication app(argc, argv);
  UsePrivateOdbcRegistration();
  sys::SetProgramFolder(temp.string());
  if (!prepare()) return 1;

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// Builds (when missing) "<fileStem><fileLines>-<revision>.MYO" in the temporary folder with about
// fileLines journal lines, connects to it and runs the benchmarks of the program.
inline int RunEngineBenchmarks(int argc, char** argv, const std::string& fileStem, int fileLines) {
  return RunBenchmarks(argc, argv, [&] {
    const std::string path = EngineBenchFile(fileStem, fileLines);
    if (!std::filesystem::exists(path)) samples::BuildLarge(path, fileLines);
    EngineCaller::Connect(path);
    return Conn.ODBCConnected;
  });
}

}  // namespace qvx::test
