// Configuration files: where they are looked for, how they parse, and how library paths resolve.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "ModelTestSupport.h"
#include "model/LibraryConfig.h"

namespace hv::test {
namespace {

// Pins every variable of the search path and the program directory for one test, and restores them.
class ConfigTest : public ::testing::Test {
protected:
  ConfigTest() : SavedProgramDir(ProgramDirectory()) { SetProgramDirectory(Root.File("program")); }
  ~ConfigTest() override { SetProgramDirectory(SavedProgramDir); }

  static bool MakeFolders(const TTempDir& root) {
    for (const char* sub : {"explicit", "cwd", "program", "xdghome/harrowvane", "etc1/harrowvane", "etc2/harrowvane"})
      std::filesystem::create_directories(root.File(sub));
    return true;
  }

  TTempDir Root;
  bool FoldersMade = MakeFolders(Root);  // before Cwd moves into one of them
  std::string SavedProgramDir;
  TEnvScope ExplicitDir{"HARROWVANE_CONFIG_DIR", Root.File("explicit").c_str()};
  TEnvScope ConfigHome{"XDG_CONFIG_HOME", Root.File("xdghome").c_str()};
  TEnvScope ConfigDirs{"XDG_CONFIG_DIRS", (Root.File("etc1") + ":" + Root.File("etc2")).c_str()};
  TCwdScope Cwd{Root.File("cwd")};
};

TEST_F(ConfigTest, SearchPathOrder) {
  EXPECT_EQ(ConfigSearchPath(),
            (std::vector<std::string>{Root.File("explicit"), ".", Root.File("program"),
                                      Root.File("xdghome") + "/harrowvane", Root.File("etc1") + "/harrowvane",
                                      Root.File("etc2") + "/harrowvane"}));
  TEnvScope noExplicit("HARROWVANE_CONFIG_DIR", nullptr);
  TEnvScope noHome("XDG_CONFIG_HOME", nullptr);
  TEnvScope home("HOME", "/home/teacher");
  TEnvScope noDirs("XDG_CONFIG_DIRS", nullptr);
  EXPECT_EQ(ConfigSearchPath(), (std::vector<std::string>{".", Root.File("program"),
                                                          "/home/teacher/.config/harrowvane", "/etc/xdg/harrowvane"}));
}

TEST_F(ConfigTest, FirstFileFoundWins) {
  const std::vector<std::string> dirs{"etc2/harrowvane", "etc1/harrowvane", "xdghome/harrowvane", "program", "cwd",
                                      "explicit"};
  const std::vector<std::string> expected{Root.File("etc2/harrowvane/vornika32.ini"),
                                          Root.File("etc1/harrowvane/vornika32.ini"),
                                          Root.File("xdghome/harrowvane/vornika32.ini"),
                                          Root.File("program/vornika32.ini"), "./vornika32.ini",
                                          Root.File("explicit/vornika32.ini")};
  EXPECT_EQ(FindConfigFile(kLibraryIniName), std::nullopt);
  // Each new file sits earlier on the path than all before it and takes over.
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    Root.Write(dirs[i] + "/vornika32.ini", "[Physics]\nLibFilename=" + dirs[i] + "\n");
    EXPECT_EQ(FindConfigFile(kLibraryIniName), expected[i]);
    EXPECT_EQ(ReadProfileString(kLibraryIniName, "Physics", "LibFilename"), dirs[i]);
  }
  // A folder of that name is not a file.
  std::filesystem::remove(Root.File("explicit/vornika32.ini"));
  std::filesystem::create_directories(Root.File("explicit/vornika32.ini"));
  EXPECT_EQ(FindConfigFile(kLibraryIniName), "./vornika32.ini");
}

TEST(IniParse, SectionsKeysCommentsAndQuotes) {
  const TIniFile ini = TIniFile::Parse(
      "\xEF\xBB\xBF"
      "orphan=ignored\r\n"
      "; a comment\r\n"
      "[PhYsIcs]\r\n"
      "  TextFilename =  \"phys.txt\"  \r\n"
      "# LibFilename=commented.dat\r\n"
      "LibFilename=phys.dat\r\n"
      "LibFilename=second.dat\r\n"
      "Empty=\r\n"
      "no equals sign\r\n"
      "[ Auto ]\n"
      "Subject=Physics;not a comment\n"
      "[physics]\n"
      "OrganisationName=Harrowvane School\n"
      "TextFilename=later.txt\n");
  EXPECT_EQ(ini.ReadString("physics", "textfilename"), "phys.txt");
  EXPECT_EQ(ini.ReadString("PHYSICS", "LIBFILENAME"), "phys.dat");
  EXPECT_EQ(ini.ReadString("Physics", "OrganisationName"), "Harrowvane School");
  EXPECT_EQ(ini.ReadString("Physics", "Empty", "default"), "");
  EXPECT_EQ(ini.ReadString("Physics", "Missing", "default"), "default");
  EXPECT_EQ(ini.ReadString("Physics", "orphan", "none"), "none");
  EXPECT_EQ(ini.ReadString("auto", "Subject"), "Physics;not a comment");
  EXPECT_EQ(ini.ReadString("Chemistry", "TextFilename", "x"), "x");
  EXPECT_TRUE(ini.HasSection("AUTO"));
  EXPECT_FALSE(ini.HasSection("Phys"));
  EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"PhYsIcs", "Auto", "physics"}));
}

TEST_F(ConfigTest, BinaryFileFirstOnThePathGivesAnEmptyProfile) {
  std::string junk;
  for (int i = 0; i < 1024; ++i) junk.push_back(static_cast<char>((i * 37) & 0xFF));
  junk.insert(0, std::string("\0\0\xFF", 3));
  Root.Write("explicit/vornika32.ini", junk);
  Root.Write("cwd/vornika32.ini", "[Physics]\nLibFilename=lib.dat\n");
  const TIniFile ini = TIniFile::Load(*FindConfigFile(kLibraryIniName));
  EXPECT_TRUE(ini.Sections().empty());
  EXPECT_EQ(ReadProfileString(kLibraryIniName, "Physics", "LibFilename", "none"), "none");
  EXPECT_TRUE(TIniFile::Load(Root.File("does-not-exist.ini")).Sections().empty());
}

TEST_F(ConfigTest, UnreadableFileGivesAnEmptyProfile) {
  Root.Write("explicit/vornika32.ini", "[Physics]\nLibFilename=secret.dat\n");
  ::chmod(Root.File("explicit/vornika32.ini").c_str(), 0);
  ::chmod(Root.Path.c_str(), 0755);
  ::chmod(Root.File("explicit").c_str(), 0755);
  // Root reads any file, so the check runs in a child that has given up its privileges.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
    if (FindConfigFile(kLibraryIniName) != Root.File("explicit/vornika32.ini")) ::_exit(4);
    ::_exit(ReadProfileString(kLibraryIniName, "Physics", "LibFilename", "none") == "none" ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ConfigTest, RelativeLibraryPathsTryTheCurrentFolderThenTheIniFolder) {
  Root.Write("explicit/vornika32.ini",
             "[Physics]\nTextFilename=phys.txt\nLibFilename=data/phys.dat\n"
             "[Absolute]\nTextFilename=" +
                 Root.File("abs.txt") + "\nLibFilename=nowhere.dat\n");
  // Neither file anywhere: the names come back as written.
  TLibraryFiles files = LookupLibraryFiles("Physics");
  EXPECT_EQ(files.TextFilename, "phys.txt");
  EXPECT_EQ(files.LibFilename, "data/phys.dat");
  // Beside the ini file.
  Root.Write("explicit/phys.txt", "t");
  Root.Write("explicit/data/phys.dat", "d");
  files = LookupLibraryFiles("physics");
  EXPECT_EQ(files.TextFilename, Root.File("explicit") + "/phys.txt");
  EXPECT_EQ(files.LibFilename, Root.File("explicit") + "/data/phys.dat");
  // The current folder comes first.
  Root.Write("cwd/phys.txt", "t");
  files = LookupLibraryFiles("Physics");
  EXPECT_EQ(files.TextFilename, "phys.txt");
  EXPECT_EQ(files.LibFilename, Root.File("explicit") + "/data/phys.dat");
  files = LookupLibraryFiles("Absolute");
  EXPECT_EQ(files.TextFilename, Root.File("abs.txt"));
  EXPECT_EQ(files.LibFilename, "nowhere.dat");
  files = LookupLibraryFiles("Missing");
  EXPECT_EQ(files.TextFilename, "");
  EXPECT_EQ(files.LibFilename, "");
}

TEST_F(ConfigTest, NoConfigurationFileMeansNoLibraryFiles) {
  const TLibraryFiles files = LookupLibraryFiles("Physics");
  EXPECT_EQ(files.TextFilename, "");
  EXPECT_EQ(files.LibFilename, "");
  HV_EXPECT_ERROR(OpenLibrary("Physics"), EInOutError, "Could not open library text file");
}

}  // namespace
}  // namespace hv::test
