// Small helpers for zarncap's tests: a scratch folder, captured output
// streams, file reading and running the command line against the fake driver.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "tools/zarncap/cli/cli.h"

namespace tooltest {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zarncap-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    path_ = ::mkdtemp(name.data());
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }
  // Names in the folder (to see that nothing was left behind).
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
    return names;
  }

 private:
  std::filesystem::path path_;
};

class CapturedStream {
 public:
  CapturedStream() : file_(std::tmpfile()) {}
  ~CapturedStream() { std::fclose(file_); }
  std::FILE* File() { return file_; }
  std::string Text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) text.push_back(static_cast<char>(c));
    return text;
  }

 private:
  std::FILE* file_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadText(const std::string& path) {
  auto bytes = ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

struct CliRun {
  int status = -1;
  std::string out, err;
};

// Runs "zarncap <args>" in-process against host (whose out and err are
// replaced by captured streams).
inline CliRun RunCli(const std::vector<std::string>& args, zarncap::Host host) {
  CapturedStream out, err;
  host.out = out.File();
  host.err = err.File();
  std::vector<std::string> words{"zarncap"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<const char*> argv;
  for (const auto& word : words) argv.push_back(word.c_str());
  CliRun run;
  run.status = zarncap::RunZarncap(static_cast<int>(argv.size()), argv.data(), host);
  run.out = out.Text();
  run.err = err.Text();
  return run;
}
inline CliRun RunCli(std::initializer_list<std::string> args, zarncap::Host host) {
  return RunCli(std::vector<std::string>(args), std::move(host));
}

#if defined(ZARNCAP_TEST_DRIVER) && defined(ZARNCAP_TEST_CLI)
// Runs the built zarncap executable in folder with the build's library and a
// private settings folder (folder/config), as a user runs it; arguments must
// not need shell quoting. With pipeTo, standard output goes through that
// command; environment ("NAME=value ...") comes last and so overrides.
inline CliRun RunBuiltZarncap(const ScratchFolder& folder, const std::string& args, const std::string& pipeTo = "",
                              const std::string& environment = "") {
  const std::string out = folder / "stdout", err = folder / "stderr";
  std::string command = "cd " + folder.Path().string() + " && ZARNCAP_DRIVER=" + ZARNCAP_TEST_DRIVER +
                        " ZARNCAP_CONFIG_DIR=" + (folder / "config") + " " + environment + " " + ZARNCAP_TEST_CLI +
                        " " + args;
  command += pipeTo.empty() ? " >" + out + " 2>" + err : " 2>" + err + " | " + pipeTo + " >" + out;
  const int raw = std::system(command.c_str());
  CliRun result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadText(out);
  result.err = ReadText(err);
  return result;
}
#endif

}  // namespace tooltest
