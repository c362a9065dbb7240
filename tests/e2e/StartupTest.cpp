// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Start-up, argument handling and the tool settings, through the real binary.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

TEST(Startup, SecondInstanceLogsOneNoticeAndExitsZero) {
  ProductTree tree;
  // Made as a running Plinth makes it: a lock file with a wider mode is not
  // trusted, and replaced.
  RunningInstance running(tree.tmp_dir());
  ASSERT_TRUE(running.held()) << running.error();

  const RunResult run = tree.Run({"platform"});
  running.Release();

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.log.empty()) << run.Dump();
  EXPECT_EQ(run.std_err.find("[main]Already exists Plinth.exe. exit![main.cpp("), 14u)
      << run.std_err;
  EXPECT_EQ(run.std_err.rfind("WARN PLINTH - ", 0), 0u) << run.std_err;
  EXPECT_EQ(std::count(run.std_err.begin(), run.std_err.end(), '\n'), 1) << run.std_err;
  EXPECT_EQ(run.std_err.find("RUN Plinth START."), std::string::npos);
}

TEST(Startup, LockLeftByAFinishedRunDoesNotBlock) {
  ProductTree tree;
  ASSERT_EQ(tree.Run({"event.s"}).exit_code, 0);
  struct stat st;
  ASSERT_EQ(::lstat((tree.tmp_dir() + "/" + kLockName).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  const RunResult again = tree.Run({"event.s"});
  EXPECT_EQ(again.exit_code, 0);
  EXPECT_TRUE(again.Has("INFO [main]RUN Plinth START.[main.cpp(*)]")) << again.Dump();
}

// Something at the lock file's place, or a temporary directory that cannot
// hold it. `problem` ends the one line on standard error.
struct LockCase {
  const char* name;
  std::function<void(const ProductTree&, const std::string& lock)> place;
  std::string problem;
  friend void PrintTo(const LockCase& c, std::ostream* os) { *os << c.name; }
};

// Places the case's object at the lock file's place, then runs the platform's
// build.
class LockFileTest : public ::testing::TestWithParam<LockCase> {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "the cases assume root (user 0), who can give files away";
  }
  RunResult PlaceAndRun() const {
    GetParam().place(tree_, lock_);
    return tree_.Run({"platform"});
  }

  ProductTree tree_;
  const std::string lock_ = tree_.tmp_dir() + "/" + kLockName;
};

// What is not to be trusted: exit 1 and nothing built.
const LockCase kUntrustedLocks[] = {
    {"DanglingLink",
     [](const ProductTree& t, const std::string& lock) {
       std::filesystem::create_symlink(t.Path("elsewhere"), lock);
     },
     "it is a symbolic link"},
    {"Directory", [](const ProductTree&, const std::string& lock) { ::mkdir(lock.c_str(), 0700); },
     "it is a directory"},
    {"AnotherUsersFile",
     [](const ProductTree& t, const std::string& lock) {
       t.Write(lock, "");
       ASSERT_EQ(::chown(lock.c_str(), 65534, 65534), 0);
     },
     "it is owned by user 65534, not by this user (0)"},
};

class UntrustedLockFile : public LockFileTest {};

TEST_P(UntrustedLockFile, EndsTheRunWithOneLine) {
  const RunResult run = PlaceAndRun();
  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.StderrLines(),
            Lines{"ERROR PLINTH - [main]lock file " + lock_ +
                  " is not trusted: " + GetParam().problem + ". exit![main.cpp(*)]"});
  EXPECT_TRUE(run.log.empty()) << run.Dump();
  EXPECT_FALSE(tree_.Exists(tree_.data_dir()));
  EXPECT_FALSE(tree_.Exists("elsewhere"));
}

INSTANTIATE_TEST_SUITE_P(Startup, UntrustedLockFile, ::testing::ValuesIn(kUntrustedLocks),
                         [](const auto& info) { return std::string(info.param.name); });

// A lock that cannot be had: one notice, and the run goes on.
const LockCase kLocksNotTaken[] = {
    {"TemporaryDirectoryMissing",
     [](const ProductTree& t, const std::string&) { t.Remove(t.tmp_dir()); },
     "open: No such file or directory"},
    {"TemporaryDirectoryIsAFile",
     [](const ProductTree& t, const std::string&) {
       t.Remove(t.tmp_dir());
       t.Write(t.tmp_dir(), "");
     },
     "open: Not a directory"},
};

class LockFileNotTaken : public LockFileTest {};

TEST_P(LockFileNotTaken, IsReportedOnceAndTheRunGoesOn) {
  const RunResult run = PlaceAndRun();
  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_EQ(run.StderrLines(), Lines{"WARN PLINTH - [main]lock file " + lock_ +
                                     " cannot be taken: " + GetParam().problem +
                                     ". go on as the first instance.[main.cpp(*)]"});
  EXPECT_TRUE(run.Has("INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]")) << run.Dump();
  EXPECT_EQ(tree_.Query("platform.db", "SELECT version FROM product_version;"), "1.0\n");
}

INSTANTIATE_TEST_SUITE_P(Startup, LockFileNotTaken, ::testing::ValuesIn(kLocksNotTaken),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, ArgumentErrors) {
  ProductTree tree;
  const RunResult none = tree.Run({});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.Lines(),
            (Lines{"INFO [main]RUN Plinth START.[main.cpp(*)]",
                   "ERROR [main]RUN Plinth FAILED. input param error![main.cpp(*)]"}));

  const RunResult empty = tree.Run({""});
  EXPECT_EQ(empty.exit_code, 1);
  EXPECT_EQ(empty.Lines(),
            (Lines{"INFO [main]RUN Plinth START.[main.cpp(*)]", "INFO [main] Init.[main.cpp(*)]",
                   "ERROR [main]RUN Plinth FAILED. input param error![main.cpp(*)]"}));
}

TEST(Startup, SpecialPluginSucceedsWithoutBuilding) {
  ProductTree tree;
  const std::string special =
      "INFO [plinth::CExecuteInit::ExecInitDB]event.s aleady init with "
      "platform![ExecuteInit.cpp(*)]";
  const RunResult run = tree.Run({"event.s", "ignored", "also ignored"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(InOrder(
      run,
      {"INFO [main]RUN Plinth START.[main.cpp(*)]", "INFO [main]event.s Init.[main.cpp(*)]",
       "INFO [plinth::CToolSetup::InitSetup]s_db_data_dir_: " + tree.data_dir() +
           "[ToolSetup.cpp(*)]",
       "INFO [plinth::CToolSetup::InitSetup]s_sys_path_: " + tree.sys_dir() + "[ToolSetup.cpp(*)]",
       "INFO [plinth::CToolSetup::InitSetup]s_product_type: ProductA[ToolSetup.cpp(*)]", special,
       "INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]"}));
  EXPECT_EQ(run.Find("ignored"), -1);
  EXPECT_FALSE(tree.Exists(tree.data_dir()));
}

TEST(Startup, ExecutableDirectoryWithBlanksAndNonAsciiCharacters) {
  ProductTree tree("bin dir \xC3\xA9\xE4\xB8\xAD");
  const RunResult run = tree.Run({"event.s"});
  EXPECT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_TRUE(run.Has("INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]")) << run.Dump();
}

TEST(Startup, SettingsReadFromBackupCopy) {
  ProductTree tree;
  const std::string settings = tree.bin_dir() + "/META_INFO/InitSetup.xml";
  const std::string text = tree.Read(settings);
  tree.Remove(settings);
  tree.Write(tree.bin_dir() + "/META_INFO/InitSetup.data", text);
  const RunResult run = tree.Run({"event.s"});
  EXPECT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_TRUE(run.Has("ERROR [plinth::CFileBak::ReadFile]open file fail. file path:" + settings +
                      ", errno_t:2.[FileBak.cpp(*)]"))
      << run.Dump();
}

// A settings problem: how the tree is spoiled, and the lines that must follow
// "event.s Init." in this order. Every case fails with err_code 1.
struct SettingsCase {
  const char* name;
  std::function<void(const ProductTree&)> spoil;
  std::function<Lines(const ProductTree&)> expected;
  friend void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }
};

const std::string kSetup = "[plinth::CToolSetup::InitSetup]";

std::string SettingsPath(const ProductTree& tree) {
  return tree.bin_dir() + "/META_INFO/InitSetup.xml";
}

const SettingsCase kSettingsCases[] = {
    {"SettingsFileMissing", [](const ProductTree& t) { t.Remove(SettingsPath(t)); },
     [](const ProductTree& t) {
       return Lines{
           "ERROR [plinth::CFileBak::ReadFile]open file fail. file path:" + SettingsPath(t) +
               ", errno_t:2.[FileBak.cpp(*)]",
           "ERROR [plinth::CFileBak::ReadFile]Open File Fail. file path:" + t.bin_dir() +
               "/META_INFO/InitSetup.data, errno_t:2.[FileBak.cpp(*)]",
           "FATAL " + kSetup + "ReadFile fail, path = " + SettingsPath(t) + "[ToolSetup.cpp(*)]"};
     }},
    {"SettingsFileEmpty", [](const ProductTree& t) { t.Write(SettingsPath(t), ""); },
     [](const ProductTree& t) {
       return Lines{
           "ERROR [plinth::CFileBak::ReadFile]Open File Fail. file path:" + t.bin_dir() +
               "/META_INFO/InitSetup.data, errno_t:2.[FileBak.cpp(*)]",
           "FATAL " + kSetup + "ReadFile fail, path = " + SettingsPath(t) + "[ToolSetup.cpp(*)]"};
     }},
    {"SettingsFileIsADirectory",
     [](const ProductTree& t) {
       t.Remove(SettingsPath(t));
       t.Write(SettingsPath(t) + "/inner", "x");
     },
     [](const ProductTree& t) {
       return Lines{
           "ERROR [plinth::CFileBak::ReadFile]open file fail. file path:" + SettingsPath(t) +
               ", errno_t:21.[FileBak.cpp(*)]",
           "FATAL " + kSetup + "ReadFile fail, path = " + SettingsPath(t) + "[ToolSetup.cpp(*)]"};
     }},
    {"SettingsNotXml", [](const ProductTree& t) { t.Write(SettingsPath(t), "this is not XML\n"); },
     [](const ProductTree&) {
       return Lines{"INFO " + kSetup + "s_db_data_dir_: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "data path empty.[ToolSetup.cpp(*)]"};
     }},
    {"SettingsBinary",
     [](const ProductTree& t) {
       t.Write(SettingsPath(t), std::string("\x00\xff\xfe<\x01\x02", 6) + std::string(5000, '\0'));
     },
     [](const ProductTree&) {
       return Lines{"INFO " + kSetup + "s_db_data_dir_: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "data path empty.[ToolSetup.cpp(*)]"};
     }},
    {"SettingsHuge",
     [](const ProductTree& t) { t.Write(SettingsPath(t), std::string(32 << 20, 'x')); },
     [](const ProductTree&) {
       return Lines{"INFO " + kSetup + "s_db_data_dir_: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "data path empty.[ToolSetup.cpp(*)]"};
     }},
    {"SettingsTruncated",
     [](const ProductTree& t) {
       t.Write(SettingsPath(t), "<Configs><SQLiteDataPath>/x</SQLiteDataPath><SYSPath>/y");
     },
     [](const ProductTree&) {
       return Lines{"INFO " + kSetup + "s_db_data_dir_: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "data path empty.[ToolSetup.cpp(*)]"};
     }},
    {"SettingsWithReferenceToNul",
     [](const ProductTree& t) {
       t.Write(SettingsPath(t), "<Configs><SQLiteDataPath>&#0;" + t.data_dir() +
                                    "</SQLiteDataPath><SYSPath>" + t.sys_dir() +
                                    "</SYSPath></Configs>");
     },
     [](const ProductTree& t) {
       return Lines{"FATAL " + kSetup + SettingsPath(t) +
                        " is not well-formed XML: character reference to NUL at offset 25"
                        "[ToolSetup.cpp(*)]",
                    "INFO " + kSetup + "s_db_data_dir_: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "data path empty.[ToolSetup.cpp(*)]"};
     }},
    {"DataPathMissing",
     [](const ProductTree& t) {
       t.Write(SettingsPath(t), "<Configs><SYSPath>" + t.sys_dir() + "</SYSPath></Configs>");
     },
     [](const ProductTree&) {
       return Lines{"INFO " + kSetup + "s_db_data_dir_: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "data path empty.[ToolSetup.cpp(*)]"};
     }},
    {"SystemPathMissing",
     [](const ProductTree& t) {
       t.Write(SettingsPath(t),
               "<Configs><SQLiteDataPath>" + t.data_dir() + "</SQLiteDataPath></Configs>");
     },
     [](const ProductTree& t) {
       return Lines{"INFO " + kSetup + "s_db_data_dir_: " + t.data_dir() + "[ToolSetup.cpp(*)]",
                    "INFO " + kSetup + "s_sys_path_: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "SYS path empty.[ToolSetup.cpp(*)]"};
     }},
    {"ProductDescriptionMissing", [](const ProductTree& t) { t.Remove("product/Product.xml"); },
     [](const ProductTree& t) {
       return Lines{"INFO " + kSetup + "s_sys_path_: " + t.sys_dir() + "[ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "ReadFile fail, path = " + t.sys_dir() +
                        "/../Product.xml[ToolSetup.cpp(*)]"};
     }},
    {"ProductTypeWithNulByte",
     [](const ProductTree& t) {
       t.Write("product/Product.xml", std::string("<ProductDescription><Product>ProductA\0B"
                                                  "</Product></ProductDescription>",
                                                  70));
     },
     [](const ProductTree& t) {
       return Lines{"FATAL " + kSetup + t.sys_dir() +
                        "/../Product.xml is not well-formed XML: NUL character at offset 37"
                        "[ToolSetup.cpp(*)]",
                    "INFO " + kSetup + "s_product_type: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "Product type empty.[ToolSetup.cpp(*)]"};
     }},
    {"ProductTypeMissing",
     [](const ProductTree& t) {
       t.Write("product/Product.xml", "<ProductDescription><Name>x</Name></ProductDescription>");
     },
     [](const ProductTree&) {
       return Lines{"INFO " + kSetup + "s_product_type: [ToolSetup.cpp(*)]",
                    "FATAL " + kSetup + "Product type empty.[ToolSetup.cpp(*)]"};
     }},
};

class SettingsFailure : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsFailure, EndsWithErrCodeOne) {
  ProductTree tree;
  GetParam().spoil(tree);
  const RunResult run = tree.Run({"event.s"});
  EXPECT_EQ(run.exit_code, 1);
  Lines expected = GetParam().expected(tree);
  expected.insert(expected.begin(), "INFO [main]event.s Init.[main.cpp(*)]");
  expected.push_back(
      "ERROR [plinth::CExecuteInit::ExecInitDB]Init Setup failed![ExecuteInit.cpp(*)]");
  expected.push_back("ERROR [main]event.s plugin Init FAILED.err_code:1.[main.cpp(*)]");
  EXPECT_TRUE(InOrder(run, expected));
  EXPECT_EQ(run.Find("aleady init with platform"), -1);
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsFailure, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plinth_e2e
