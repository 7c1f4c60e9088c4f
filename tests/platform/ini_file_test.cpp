#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/environment.h"
#include "platform/platform.h"
#include "platform/portable/ini_file.h"

namespace {

using platform::GetPrivateProfileInt;
using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zarncap-ini-XXXXXX";
    folder_ = mkdtemp(pattern);
    path_ = folder_ + "/test.ini";
  }
  void TearDown() override {
    for (const auto& name : FolderEntries(folder_)) unlink((folder_ + "/" + name).c_str());
    rmdir(folder_.c_str());
  }
  std::string Get(const char* section, const char* key, const char* def = "dflt", DWORD size = 256) {
    std::vector<char> out(size + 1, '#');
    DWORD n = GetPrivateProfileString(section, key, def, out.data(), size, path_.c_str());
    EXPECT_EQ(n, std::string(out.data()).size());
    return out.data();
  }
  UINT Int(const char* key, int def = 42, const char* section = "S") {
    return GetPrivateProfileInt(section, key, def, path_.c_str());
  }

  std::string folder_;
  std::string path_;
};

TEST_F(IniFileTest, ReadsCaseInsensitiveTrimmedValues) {
  WriteAll(path_,
           "; leading comment\n"
           "[ZARNCAP]\n"
           "  DebugLevel =  36  \n"
           "Language=Fran\xE7" "ais\r\n"
           "Quoted=\"  spaced  \"\n"
           "bare\n"
           "[nubo]\n"
           "ImageQuality=80\n"
           "[ZARNCAP]\n"
           "DebugLevel=1\n");
  EXPECT_EQ(Get("zarncap", "debuglevel"), "36");  // the first section of that name wins
  EXPECT_EQ(Get("ZARNCAP", "LANGUAGE"), "Fran\xE7" "ais");
  EXPECT_EQ(Get("ZARNCAP", "Quoted"), "  spaced  ");
  EXPECT_EQ(Get("ZARNCAP", "bare"), "dflt");
  EXPECT_EQ(Get("NUBO", "ImageQuality"), "80");
  EXPECT_EQ(Get("NUBO", "Missing"), "dflt");
  EXPECT_EQ(Get("Absent", "ImageQuality", "x  \t"), "x");  // the default loses trailing blanks
  EXPECT_EQ(Get("Absent", "ImageQuality", nullptr), "");
  EXPECT_EQ(GetPrivateProfileInt("NUBO", "imagequality", 75, path_.c_str()), 80u);
}

TEST_F(IniFileTest, MissingFileGivesDefaults) {
  EXPECT_EQ(Get("ZARNCAP", "Language", "U.S. English"), "U.S. English");
  EXPECT_EQ(GetPrivateProfileInt("ZARNCAP", "LPT_Port", 69, path_.c_str()), 69u);
  EXPECT_EQ(GetPrivateProfileInt("ZARNCAP", "LPT_Port", -1, path_.c_str()), 0xFFFFFFFFu);
}

TEST_F(IniFileTest, IntegersAsThePlatformReadsThem) {
  WriteAll(path_,
           "[S]\nplain=36\nneg=-5\nplus=+7\nhex=0x10\ntail=12abc\ngarbage=abc\nspace=- 3\n"
           "empty=\nbig=4294967297\nquoted=\"9\"\n");
  EXPECT_EQ(Int("plain"), 36u);
  EXPECT_EQ(Int("neg"), static_cast<UINT>(-5));
  EXPECT_EQ(Int("plus"), 7u);
  EXPECT_EQ(Int("hex"), 0u);
  EXPECT_EQ(Int("tail"), 12u);
  EXPECT_EQ(Int("garbage"), 0u);
  EXPECT_EQ(Int("space"), 0u);
  EXPECT_EQ(Int("empty"), 42u);
  EXPECT_EQ(Int("big"), 1u);  // 32-bit wrap, no overflow fault
  EXPECT_EQ(Int("quoted"), 9u);
  EXPECT_EQ(Int("missing"), 42u);
}

TEST_F(IniFileTest, TruncatesToTheBuffer) {
  WriteAll(path_, "[S]\nk=abcdef\n");
  EXPECT_EQ(Get("S", "k", "", 4), "abc");
  EXPECT_EQ(Get("S", "k", "", 7), "abcdef");
  EXPECT_EQ(Get("S", "k", "", 1), "");
  char untouched = '#';
  EXPECT_EQ(GetPrivateProfileString("S", "k", "", &untouched, 0, path_.c_str()), 0u);
  EXPECT_EQ(untouched, '#');
}

TEST_F(IniFileTest, ListsSectionAndKeyNames) {
  WriteAll(path_, "[A]\nx=1\n;note\ny=2\n[B]\n");
  char out[32];
  DWORD n = GetPrivateProfileString(nullptr, nullptr, "", out, sizeof out, path_.c_str());
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(std::string(out, 5), std::string("A\0B\0\0", 5));
  n = GetPrivateProfileString("a", nullptr, "", out, sizeof out, path_.c_str());
  EXPECT_EQ(std::string(out, n + 1), std::string("x\0y\0\0", 5));
  n = GetPrivateProfileString("a", nullptr, "", out, 3, path_.c_str());
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(std::string(out, 3), std::string("x\0\0", 3));
}

TEST_F(IniFileTest, WritesKeepEveryOtherLine) {
  const std::string original =
      "; settings of the camera driver\n"
      "[ZARNCAP]\n"
      "DebugLevel=0   ; keep me\n"
      "LPT_Port=69\n"
      "\n"
      "; colour settings follow\n"
      "[COLSPACE]\n"
      "Brightness=50\n"
      "unrelated line without equals\n";
  WriteAll(path_, original);
  ASSERT_TRUE(WritePrivateProfileString("zarncap", "lpt_port", "3", path_.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("ZARNCAP", "Force4Bit", "1", path_.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("NUBO", "ImageQuality", "75", path_.c_str()));
  EXPECT_EQ(ReadAll(path_),
            "; settings of the camera driver\n"
            "[ZARNCAP]\n"
            "DebugLevel=0   ; keep me\n"
            "LPT_Port=3\n"
            "Force4Bit=1\n"
            "\n"
            "; colour settings follow\n"
            "[COLSPACE]\n"
            "Brightness=50\n"
            "unrelated line without equals\n"
            "[NUBO]\n"
            "ImageQuality=75\n");
  ASSERT_TRUE(WritePrivateProfileString("ZARNCAP", "Force4Bit", nullptr, path_.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("ZARNCAP", "NotThere", nullptr, path_.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("NUBO", nullptr, nullptr, path_.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("ZARNCAP", "LPT_Port", "69", path_.c_str()));
  EXPECT_EQ(ReadAll(path_), original);
}

TEST_F(IniFileTest, KeepsCrLfAndAFileWithoutFinalNewline) {
  WriteAll(path_, "[A]\r\nx=1");
  ASSERT_TRUE(WritePrivateProfileString("A", "y", "2", path_.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("B", "z", "3", path_.c_str()));
  EXPECT_EQ(ReadAll(path_), "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
}

TEST_F(IniFileTest, RefusesWhatOneLineCannotHold) {
  EXPECT_FALSE(WritePrivateProfileString("A", "k", "two\nlines", path_.c_str()));
  EXPECT_FALSE(WritePrivateProfileString("A", "k=v", "x", path_.c_str()));
  EXPECT_FALSE(WritePrivateProfileString("A]", "k", "x", path_.c_str()));
  EXPECT_FALSE(WritePrivateProfileString("A", "k", "x", nullptr));
  EXPECT_EQ(access(path_.c_str(), F_OK), -1);  // nothing written
}

TEST_F(IniFileTest, LongKeysValuesAndLines) {
  std::string key(5000, 'k');
  std::string value(100000, 'v');
  ASSERT_TRUE(WritePrivateProfileString("Long", key.c_str(), value.c_str(), path_.c_str()));
  std::vector<char> out(value.size() + 10);
  EXPECT_EQ(GetPrivateProfileString("long", key.c_str(), "", out.data(), static_cast<DWORD>(out.size()),
                                    path_.c_str()),
            value.size());
  EXPECT_EQ(std::string(out.data()), value);
  EXPECT_EQ(Get("Long", key.c_str(), "", 81).size(), 80u);
}

TEST_F(IniFileTest, AtomicReplaceLeavesNoTemporaryAndKeepsMode) {
  WriteAll(path_, "[A]\nx=1\n");
  chmod(path_.c_str(), 0600);
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(WritePrivateProfileString("A", "x", std::to_string(i).c_str(), path_.c_str()));
  }
  // Beside the file only its lock file: no temporary outlives a write.
  EXPECT_EQ(FolderEntries(folder_), (std::vector<std::string>{"test.ini", "test.ini.lock"}));
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Get("A", "x"), "19");
}

TEST_F(IniFileTest, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 10; ++i) {
        std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
        WritePrivateProfileString("S", key.c_str(), "1", path_.c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 10; ++i) {
      std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
      EXPECT_EQ(Int(key.c_str(), 0), 1u) << key;
    }
  }
}

// A settings file that is a symbolic link to a file not made yet: writes go
// through the link and make the file it names; a writer through the link and
// one writing the file directly share one lock and lose nothing.
TEST_F(IniFileTest, WritesThroughALinkToAFileNotMadeYet) {
  const std::string target = folder_ + "/target.ini";
  const std::string link = folder_ + "/link.ini";
  ASSERT_EQ(::symlink("target.ini", link.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileString("S", "first", "1", link.c_str()));
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
  EXPECT_EQ(GetPrivateProfileInt("S", "first", 0, target.c_str()), 1u);
  std::vector<std::thread> writers;
  for (const std::string& via : {link, target}) {
    writers.emplace_back([via] {
      for (int i = 0; i < 20; ++i) {
        const std::string key = (via.find("link") != std::string::npos ? "l" : "t") + std::to_string(i);
        WritePrivateProfileString("S", key.c_str(), "1", via.c_str());
      }
    });
  }
  for (auto& writer : writers) writer.join();
  for (int i = 0; i < 20; ++i) {
    for (const char* side : {"l", "t"}) {
      const std::string key = side + std::to_string(i);
      EXPECT_EQ(GetPrivateProfileInt("S", key.c_str(), 0, target.c_str()), 1u) << key;
    }
  }
}

// Two processes writing one file: each write reads, edits and renames under a
// lock the other process honours too.
TEST_F(IniFileTest, TwoProcessesWritingOneFileLoseNothing) {
  constexpr int kKeys = 150;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      for (int i = 0; i < kKeys; ++i) {
        const std::string key = "p" + std::to_string(c) + "_" + std::to_string(i);
        if (!WritePrivateProfileString("S", key.c_str(), "1", path_.c_str())) _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int kept = 0;
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kKeys; ++i) kept += static_cast<int>(Int(("p" + std::to_string(c) + "_" + std::to_string(i)).c_str(), 0));
  }
  EXPECT_EQ(kept, 2 * kKeys);
}

// A writer killed mid-write never tears the file, and whatever temporary it
// left goes with the next write.
TEST_F(IniFileTest, AWriterKilledMidWriteLeavesNothingBehindTheNextWrite) {
  WriteAll(path_, "[A]\nkeep=1\n");
  for (int round = 0; round < 15; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) WritePrivateProfileString("B", ("k" + std::to_string(i % 200)).c_str(), "v", path_.c_str());
    }
    usleep(static_cast<useconds_t>(2000 + round * 700));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(Int("keep", 0, "A"), 1u) << "the file was torn";
  }
  ASSERT_TRUE(WritePrivateProfileString("A", "after", "2", path_.c_str()));
  EXPECT_EQ(FolderEntries(folder_), (std::vector<std::string>{"test.ini", "test.ini.lock"}));
}

// Reads treat names as the writer stores them: trimmed.
TEST_F(IniFileTest, ReadsTrimNamesAsWritesDo) {
  ASSERT_TRUE(WritePrivateProfileString(" Video ", " Gain ", "7", path_.c_str()));
  EXPECT_EQ(ReadAll(path_), "[Video]\nGain=7\n");
  EXPECT_EQ(GetPrivateProfileInt(" Video ", " Gain ", 0, path_.c_str()), 7u);
  EXPECT_EQ(Get(" Video ", "\tGain "), "7");
  EXPECT_EQ(GetPrivateProfileInt("video", "gain", 0, path_.c_str()), 7u);
}

TEST(SettingsFolder, RelativeNamesResolveToTheSettingsFolder) {
  std::string saved = std::getenv("ZARNCAP_CONFIG_DIR") ? std::getenv("ZARNCAP_CONFIG_DIR") : "";
  const char* home = std::getenv("HOME");
  std::string savedHome = home ? home : "";
  testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", "/tmp/zc");
  EXPECT_EQ(platform::ResolveProfilePath("zarncap.ini"), "/tmp/zc/zarncap.ini");
  EXPECT_EQ(platform::ResolveProfilePath("/abs/MY.INI"), "/abs/MY.INI");
  testsupport::UnsetEnvironment("ZARNCAP_CONFIG_DIR");
  testsupport::SetEnvironment("XDG_CONFIG_HOME", "/tmp/xdg");
  EXPECT_EQ(platform::ResolveProfilePath("zarncap.ini"), "/tmp/xdg/zarncap/zarncap.ini");
  testsupport::UnsetEnvironment("XDG_CONFIG_HOME");
  testsupport::SetEnvironment("HOME", "/tmp/home");
  EXPECT_EQ(platform::ResolveProfilePath("zarncap.ini"), "/tmp/home/.config/zarncap/zarncap.ini");
  if (savedHome.empty()) testsupport::UnsetEnvironment("HOME");
  else testsupport::SetEnvironment("HOME", savedHome.c_str());
  if (!saved.empty()) testsupport::SetEnvironment("ZARNCAP_CONFIG_DIR", saved.c_str());
}

TEST(SettingsFolder, WriteCreatesTheFolder) {
  char pattern[] = "/tmp/zarncap-dir-XXXXXX";
  std::string base = mkdtemp(pattern);
  std::string path = base + "/a/b/zarncap.ini";
  ASSERT_TRUE(WritePrivateProfileString("ZARNCAP", "LPT_Port", "2", path.c_str()));
  EXPECT_EQ(ReadAll(path), "[ZARNCAP]\nLPT_Port=2\n");
  unlink(path.c_str());
  unlink((path + ".lock").c_str());
  rmdir((base + "/a/b").c_str());
  rmdir((base + "/a").c_str());
  rmdir(base.c_str());
}

}  // namespace
